#include "app/FramePlacement.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef THUMPER_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace thumper {

#ifdef THUMPER_HAVE_XCB
namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

}  // namespace

FramePlacement PlaceFrameAtOriginNatively(QWindow& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return FramePlacement::Unavailable;
  const auto id = static_cast<xcb_window_t>(window.winId());

  const char* name = "_NET_FRAME_EXTENTS";
  const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
  if (!atom || atom->atom == XCB_ATOM_NONE) return FramePlacement::NotFramed;
  const Reply<xcb_get_property_reply_t> extents(xcb_get_property_reply(
      c, xcb_get_property(c, 0, id, atom->atom, XCB_ATOM_CARDINAL, 0, 4), nullptr));
  if (!extents || extents->format != 32 || xcb_get_property_value_length(extents.get()) < 16)
    return FramePlacement::NotFramed;
  // left, right, top, bottom
  const auto* border = static_cast<const uint32_t*>(xcb_get_property_value(extents.get()));
  const int left = static_cast<int>(border[0]), top = static_cast<int>(border[2]);

  const Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
  if (!geometry) return FramePlacement::NotFramed;
  const Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
      c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr));
  if (!at) return FramePlacement::NotFramed;
  if (at->dst_x == left && at->dst_y == top) return FramePlacement::AtOrigin;

  // Qt gives its windows static gravity: the position is the client area's.
  const uint32_t place[] = {static_cast<uint32_t>(left), static_cast<uint32_t>(top)};
  xcb_configure_window(c, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
  xcb_flush(c);
  return FramePlacement::Moved;
}
#else
FramePlacement PlaceFrameAtOriginNatively(QWindow&) {
  return FramePlacement::Unavailable;
}
#endif

}  // namespace thumper
