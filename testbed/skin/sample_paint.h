#pragma once

#include "testbed/skin/sample_pictures.h"

// Drawing into the sample skin's pictures: soft-edged rounded boxes, gradients, and the
// halving that makes the half-size variants.
namespace sample_paint {

using sample_pictures::Picture;
using sample_pictures::Rgba;

struct Box {
  float left;
  float top;
  float right;
  float bottom;
};

// Signed distance from the centre of pixel (x, y) to the edge of the box with its corners
// rounded by `radius`: negative inside.
float RoundedBoxDistance(const Box& box, float radius, int x, int y);
// The share of a pixel whose centre lies `distance` from an edge (negative inside) that the
// shape covers, for edges a pixel wide.
float Coverage(float distance);

// From a to b as t goes from 0 to 1 (clamped), alpha included.
Rgba Mix(Rgba a, Rgba b, float t);
Rgba Lighter(Rgba colour, float amount);   // towards white
Rgba Darker(Rgba colour, float amount);    // towards black
Rgba WithAlpha(Rgba colour, float alpha);  // alpha scaled by `alpha`

// `colour` over pixel (x, y), straight alpha, its own alpha scaled by `coverage`; pixels
// outside the picture are left alone.
void Blend(Picture& picture, int x, int y, Rgba colour, float coverage = 1);

// The rounded box filled with a gradient from `top` to `bottom`, edges soft.
void FillRoundedBox(Picture& picture, const Box& box, float radius, Rgba top, Rgba bottom);
// A line of `width` pixels just inside the rounded box's edge.
void StrokeRoundedBox(Picture& picture, const Box& box, float radius, float width, Rgba colour);

// Half the size (rounded up), each pixel from the block of up to 2 x 2 it covers: colours
// weighted by their alpha, so transparent pixels leave no dark fringe.
Picture HalfSizeByAlpha(const Picture& picture);
// Half the size for a picture whose outside is `key`: a block mostly of the key stays the key,
// any other block is the mean of its pixels that are not the key, so no mixed colour appears
// along the outline.
Picture HalfSizeKeyed(const Picture& picture, Rgba key);

}  // namespace sample_paint
