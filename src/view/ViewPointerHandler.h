#pragma once
// The seam for the mouse gestures: when a handler is installed, CThumperView
// hands it every pointer event in window pixels and draws nothing by itself.
// Without one, the view lights buttons under the pointer and chooses octave
// pairs. UI thread only.

namespace thumper {

class ViewPointerHandler {
 public:
  virtual ~ViewPointerHandler() = default;
  virtual void OnLeftPressed(int x, int y) = 0;
  virtual void OnLeftReleased(int x, int y) = 0;
  virtual void OnLeftDoubleClicked(int x, int y) = 0;
  virtual void OnRightPressed(int x, int y) = 0;
  virtual void OnRightReleased(int x, int y) = 0;
  virtual void OnPointerMoved(int x, int y) = 0;
  // A key the view received (Backspace removes the selected group). False
  // leaves the key to the default handling.
  virtual bool OnKeyPressed(int key) {
    (void)key;
    return false;
  }
};

}  // namespace thumper
