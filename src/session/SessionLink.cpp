#include "session/SessionLink.h"

#include <cerrno>

namespace thumper {

std::string StartedAs() {
  return program_invocation_name ? program_invocation_name : "thumper";
}

SessionLink::SessionLink(ThumperRuntime& runtime, SampleListState& list, const std::string& kit,
                         const JackClientOptions& jack)
    : m_doc(runtime.m_doc), m_session(runtime, list, kit, jack) {}

std::unique_ptr<SessionLink> SessionLink::Start(ThumperRuntime& runtime, SampleListState& list,
                                                const std::string& kit,
                                                const JackClientOptions& jack,
                                                const std::string& capabilities,
                                                std::ostream& err) {
  std::unique_ptr<SessionLink> link(new SessionLink(runtime, list, kit, jack));
  NsmSession* session = &link->m_session;
  // The handlers run inside Poll(), on the caller's thread. The window may
  // replace them with its own that do more around the same steps.
  NsmHandlers& h = link->m_handlers;
  h.open = [session](const std::string& prefix, const std::string&, const std::string& id) {
    return session->Open(prefix, id);
  };
  h.save = [session] { return session->Save(); };
  // The client calls the handlers through this table, so later changes count.
  NsmHandlers forward;
  NsmHandlers* table = &link->m_handlers;
  forward.open = [table](const std::string& prefix, const std::string& name,
                         const std::string& id) {
    return table->open ? table->open(prefix, name, id)
                       : NsmReply::Error(NsmError::General, "Thumper cannot open a session.");
  };
  forward.save = [table] {
    return table->save ? table->save() : NsmReply::Error(NsmError::General, "Thumper cannot save.");
  };
  forward.showGui = [table] {
    if (table->showGui) table->showGui();
  };
  forward.hideGui = [table] {
    if (table->hideGui) table->hideGui();
  };
  forward.unavailable = [table] {
    if (table->unavailable) table->unavailable();
  };
  link->m_pClient = NsmClient::FromEnvironment(capabilities, StartedAs(), std::move(forward), err);
  if (!link->m_pClient) return nullptr;
  return link;
}

void SessionLink::Poll() {
  m_pClient->Poll();
  if (m_pClient->SessionOpen()) m_pClient->SetDirty(m_doc.IsModified());
}

}  // namespace thumper
