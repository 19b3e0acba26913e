#pragma once

// The dialog templates of the Windows tests.
#define IDD_BORDERLESS 200
#define IDD_FRAMED 201

#define IDC_PICTURE_BUTTON 300
#define IDC_SECOND_BUTTON 301
#define IDC_TEXT 302
#define IDC_TRACKBAR 303
#define IDC_RADIO 304
