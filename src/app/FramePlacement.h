#pragma once
// Puts a top-level window's frame at the screen's top-left corner, counted in
// the display's own pixels. Qt places windows in scaled pixels, in which a
// frame border of one device pixel at a scale of 2 cannot be expressed.

class QWindow;

namespace thumper {

enum class FramePlacement {
  Unavailable,  // not on X11: the caller places the window through Qt
  NotFramed,    // no frame extents (yet): no window manager, or it has not framed it
  AtOrigin,     // the frame's corner is at (0, 0)
  Moved,        // asked the window manager to put it there
};

// On X11 reads the window manager's frame extents (_NET_FRAME_EXTENTS) and the
// client area's place; when the frame is not at the corner, asks for the
// client area at (left border, title bar height). UI thread.
FramePlacement PlaceFrameAtOriginNatively(QWindow& window);

}  // namespace thumper
