#pragma once
// The sample list panel's selection and scroll, owned by the view and set by the
// group operations.

#include <cstdint>

namespace thumper {

struct SampleListState {
  int32_t m_nSelectedGroup = 0;  // the group shown; not range-checked by the operations
  int32_t m_nListScroll = 0;     // the first entry shown
};

}  // namespace thumper
