#include "audio/OutputDriverList.h"

#include <new>

namespace thumper {

bool EnumOutputDriver(const DriverId* guid, const std::string& description,
                      const std::string& module, OutputDriverList& list) {
  if (list.m_nCount >= OutputDriverList::kMaxDrivers) return true;
  if (guid) {
    list.m_pGuid[list.m_nCount].reset(new (std::nothrow) DriverId(*guid));
    if (!list.m_pGuid[list.m_nCount]) return true;
  } else {
    list.m_pGuid[list.m_nCount].reset();
  }
  ++list.m_nCount;
  list.m_strDescription.push_back(description);
  list.m_strModule.push_back(module);
  return true;
}

}  // namespace thumper
