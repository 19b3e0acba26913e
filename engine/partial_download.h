#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What arrived of a file whose body broke off, kept in temp\ so that the next attempt asks
// only for the rest:
//
//   temp\NAME.part  the file's first bytes, as they came
//   temp\NAME.tag   text: the file's whole length in decimal, LF, the validator the server
//                   sent with it (its ETag, else its Last-Modified; empty when neither), LF
//
// The bytes are never trusted for what they are: the file is checked once it is whole, as a
// file fetched in one piece is.
struct PartialDownload {
  std::uint64_t have = 0;   // bytes in the .part file
  std::uint64_t total = 0;  // of the whole file
  std::string validator;
};

std::string PartName(const std::string& stagingName);

// The tag's text: the whole length and the validator; none when it is not one tag.
struct PartialTag {
  std::uint64_t total = 0;
  std::string validator;
};
std::optional<PartialTag> ReadTag(std::string_view text);

// The part left for `stagingName`; none when there is none worth resuming (no tag, a tag that
// does not parse, nothing yet or everything already in the part). What cannot be resumed is
// removed.
std::optional<PartialDownload> FindPartial(const std::string& stagingName);
// Written before the body of a fresh download, so that what then arrives can be resumed.
bool TagPartial(const std::string& stagingName, std::uint64_t total, const std::string& validator);
void DropPartial(const std::string& stagingName);

// The validator to resume under, from an answer's ETag and Last-Modified: a weak ETag may not
// be used for a range, and one that could not go back out in a header is not kept.
std::string ValidatorOf(const std::optional<std::string>& etag,
                        const std::optional<std::string>& lastModified);

// Whether a 206's Content-Range ("bytes FROM-LAST/TOTAL") is the rest of `partial`.
bool ContinuesPartial(std::string_view contentRange, const PartialDownload& partial);
