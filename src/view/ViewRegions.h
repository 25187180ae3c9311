#pragma once
// The view's fixed geometry: every rectangle the face is drawn into and hit-tested
// with, and the key cells of the keyboard panels. Plain data shared by the view,
// the mouse gestures and the skin generator (which draws the cells in the same
// places). Rectangles are (left, top, right, bottom) and contain x when
// left <= x < right.

#include <array>
#include <cstdint>
#include <optional>

namespace thumper {

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  constexpr bool Contains(int x, int y) const {
    return left <= x && x < right && top <= y && y < bottom;
  }
  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr Rect Offset(int dx, int dy) const {
    return {left + dx, top + dy, right + dx, bottom + dy};
  }
  constexpr Rect Inset(int d) const { return {left + d, top + d, right - d, bottom - d}; }
  constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int32_t x = 0, y = 0;
  friend constexpr bool operator==(const Point&, const Point&) = default;
};

// The face and the sheet.
inline constexpr int kFaceWidth = 727;
inline constexpr int kFaceHeight = 487;
inline constexpr int kSheetWidth = 752;
inline constexpr int kSheetHeight = 850;
inline constexpr int kBackgroundY = 332;  // window (x, y) shows sheet (x, y + 332)

inline constexpr int kKeysPerPanel = 12;
inline constexpr int kCellsPerPanel = 60;  // key * 5 + layer
inline constexpr int kShownSlots = 24;
inline constexpr int kRightPanelDx = 267;          // right panel's cells = left panel's + 267
inline constexpr Point kCellWindowOffset{7, 286};  // window cell = source cell + this

// Key image sets of the sheet: cells at the source rectangles plus these x offsets.
inline constexpr int kKeyImagePressedX = 0;
inline constexpr int kKeyImageAssignedX = 250;
inline constexpr int kKeyImagePlayingX = 500;

// Cell source rectangles in the key image set at x 0, k = key * 5 + layer. Two
// cells are one pixel off their row on purpose (key 3 layer 0, key 11 layer 3):
// stored drawings and hit tests depend on exactly these.
inline constexpr std::array<Rect, kCellsPerPanel> kCellSource = {{
    {4, 0, 30, 37},       {4, 40, 30, 77},      {4, 79, 30, 116},
    {4, 118, 30, 155},    {4, 158, 36, 195},  //
    {30, 0, 47, 30},      {30, 32, 47, 61},     {30, 63, 47, 93},
    {30, 95, 47, 125},    {30, 127, 47, 157},  //
    {47, 0, 65, 37},      {47, 40, 65, 77},     {47, 79, 65, 116},
    {47, 118, 65, 155},   {39, 158, 72, 195},  //
    {65, 0, 82, 30},      {65, 32, 83, 61},     {65, 63, 83, 93},
    {65, 95, 83, 125},    {65, 127, 83, 157},  //
    {83, 0, 107, 37},     {83, 40, 107, 77},    {83, 79, 107, 116},
    {83, 118, 107, 155},  {75, 158, 107, 195},  //
    {110, 0, 135, 37},    {110, 40, 135, 77},   {110, 79, 135, 116},
    {110, 118, 135, 155}, {110, 158, 142, 195},  //
    {135, 0, 153, 30},    {135, 32, 153, 61},   {135, 63, 153, 93},
    {135, 95, 153, 125},  {135, 127, 153, 157},  //
    {153, 0, 171, 37},    {153, 40, 171, 77},   {153, 79, 171, 116},
    {153, 118, 171, 155}, {145, 158, 177, 195},  //
    {171, 0, 188, 30},    {171, 32, 188, 61},   {171, 63, 188, 93},
    {171, 95, 188, 125},  {171, 127, 188, 157},  //
    {188, 0, 206, 37},    {188, 40, 206, 77},   {188, 79, 206, 116},
    {188, 118, 206, 155}, {180, 158, 213, 195},  //
    {206, 0, 223, 30},    {206, 32, 223, 61},   {206, 63, 223, 93},
    {206, 95, 223, 125},  {206, 127, 223, 157},  //
    {223, 0, 248, 37},    {223, 40, 248, 77},   {223, 79, 248, 116},
    {223, 119, 248, 155}, {216, 158, 248, 195},
}};

constexpr bool IsBlackKey(int key) {
  return key == 1 || key == 3 || key == 6 || key == 8 || key == 10;
}

// Button numbers of m_nHoverButton; -1 is none.
enum Button : int32_t {
  kNoButton = -1,
  kSaveSet = 1,
  kLoadSet = 2,
  kOptions = 3,
  kSaveGroup = 4,
  kLoadGroup = 5,
  kLoadSample = 6,
  kCreateGroup = 7,
};

// A button's hit rectangle and where its lit image comes from and goes.
struct ButtonArt {
  int32_t nButton;
  Rect rcHit;
  Point ptLitSource;
  int32_t nWidth, nHeight;
  Point ptLitDest;
};

// In the order the pointer tests them.
inline constexpr std::array<ButtonArt, 7> kButtons = {{
    {kSaveSet, {614, 145, 668, 163}, {61, 218}, 60, 20, {612, 146}},
    {kLoadSet, {552, 145, 609, 163}, {0, 218}, 60, 19, {551, 146}},
    {kOptions, {552, 124, 609, 143}, {0, 196}, 60, 19, {551, 124}},
    {kSaveGroup, {552, 197, 609, 220}, {0, 269}, 60, 22, {551, 197}},
    {kLoadGroup, {614, 197, 668, 220}, {61, 269}, 60, 22, {612, 197}},
    {kLoadSample, {614, 168, 668, 190}, {61, 240}, 60, 22, {612, 168}},
    {kCreateGroup, {552, 168, 609, 190}, {0, 240}, 60, 22, {551, 168}},
}};

const ButtonArt* FindButtonArt(int32_t nButton);

struct CellHit {
  int32_t nSlot = 0;
  int32_t nLayer = 0;
  friend constexpr bool operator==(const CellHit&, const CellHit&) = default;
};

// Every rectangle of the face, set once and never changed. The thumb's
// rectangles are the list panel's own state.
struct ViewRegions {
  Rect m_rcButtonBlock{552, 124, 668, 220};
  Rect m_rcOptions{552, 124, 609, 143};
  Rect m_rcLoadSet{552, 145, 609, 163};
  Rect m_rcSaveSet{614, 145, 668, 163};
  Rect m_rcCreateGroup{552, 168, 609, 190};
  Rect m_rcLoadSample{614, 168, 668, 190};
  Rect m_rcSaveGroup{552, 197, 609, 220};
  Rect m_rcLoadGroup{614, 197, 668, 220};
  Rect m_rcOctaveSelector{558, 296, 663, 405};
  Rect m_rcPair12{558, 296, 663, 330};
  Rect m_rcPair34{558, 332, 663, 366};
  Rect m_rcPair56{558, 370, 663, 402};
  Rect m_rcGroupColumn{8, 28, 119, 222};
  std::array<Rect, 16> m_rcGroupRow{};
  Rect m_rcSampleColumn{120, 28, 507, 222};
  std::array<Rect, 16> m_rcSampleRow{};
  Rect m_rcScrollTrack{510, 41, 524, 207};
  Rect m_rcTrash{659, 421, 725, 486};
  Rect m_rcLeftPanel{7, 286, 255, 481};
  Rect m_rcRightPanel{274, 286, 522, 481};
  std::array<Rect, kCellsPerPanel> m_rcCell{};
  std::array<Rect, kCellsPerPanel> m_rcCellSource{};

  ViewRegions();

  // The button under the point in the pointer's test order, or kNoButton.
  int32_t ButtonAt(int x, int y) const;

  // The pair under the point: 0, 24 or 48 for 1+2, 3+4, 5+6; nothing outside
  // the three pairs.
  std::optional<int32_t> PairAt(int x, int y) const;

  // The cell under the point in either panel, as (slot, layer) for the pair that
  // begins at firstShownSlot; nothing on a gap or outside the panels.
  std::optional<CellHit> CellAt(int x, int y, int32_t firstShownSlot) const;

  // The window rectangle of cell k of the left (0) or right (1) panel.
  Rect CellRect(int panel, int k) const { return m_rcCell[k].Offset(panel * kRightPanelDx, 0); }
};

}  // namespace thumper
