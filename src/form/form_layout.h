#pragma once

#include <array>

namespace tavrek {

// The window as it is laid out, whatever toolkit draws it. Positions are in
// twips (1/1440 inch) and shown at 15 twips per pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// Every length rounds to the nearest pixel, halves up.
constexpr int twipsToPixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// Where each control sits, as left, top, width and height in twips.
inline constexpr TwipsRect kClientArea{0, 0, 7905, 2115};
inline constexpr TwipsRect kLblFileNameAt{0, 0, 7335, 375};
inline constexpr TwipsRect kCmdOpenAt{7380, 0, 495, 375};
inline constexpr TwipsRect kTxtInfoAt{1480, 440, 6375, 1455};
inline constexpr TwipsRect kCboPortAt{0, 1560, 1455, 315};
inline constexpr TwipsRect kCmdWriteAt{0, 440, 1455, 540};
inline constexpr TwipsRect kPrgBarAt{0, 1920, 7815, 195};
inline constexpr TwipsRect kCmdResetAt{0, 1000, 1455, 540};

// Captions; "&" marks the access key (Alt+W, Alt+R).
inline constexpr const char* kCmdOpenCaption = "...";
inline constexpr const char* kCmdWriteCaption = "&Write";
inline constexpr const char* kCmdResetCaption = "&Reset";

inline constexpr const char* kCommandFontFamily = "MS Sans Serif";  // Write's and Reset's captions, bold
inline constexpr double kCommandFontPoints = 9.75;
inline constexpr int kProgressMaximum = 100;  // the progress bar's full scale; nothing moves it off 0

// The port list: position n stands for port number n + 1.
inline constexpr std::array<const char*, 5> kPortNames = {"COM1", "COM2", "COM3", "COM4", "COM5"};

} // namespace tavrek
