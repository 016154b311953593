// Revision texts of the library's source files, in the order of the trace
// header: the core and its four headers, the message layer and its header, the
// two message-definition headers, the remote-call layer and its header, the
// error header, then port access, frames and queue, each followed by its header.
#include "core/ebd_version.h"

namespace ebd {

const std::array<const char*, 18> kRevisionTexts = {
    "src\\lib\\ebd.cpp: $YKRevision: /main/dev01/31$, $YKDate: 2026-11-30$",
    "src\\lib\\ebd.h: $YKRevision: /main/dev01/12$, $YKDate: 2026-11-30$",
    "src\\lib\\ebd_types.h: $YKRevision: /main/dev01/9$, $YKDate: 2026-11-24$",
    "src\\lib\\ebd_bastyp.h: $YKRevision: /main/4$, $YKDate: 2026-10-02$",
    "src\\lib\\ebd_version.h: $YKRevision: /main/dev01/6$, $YKDate: 2026-11-30$",
    "src\\rpc\\ebdnomi.cpp: $YKRevision: /main/dev01/11$, $YKDate: 2026-11-18$",
    "src\\rpc\\ebdnomi.h: $YKRevision: /main/3$, $YKDate: 2026-10-02$",
    "src\\rpc\\ebdmsg.h: $YKRevision: /main/dev01/8$, $YKDate: 2026-11-12$",
    "src\\rpc\\ebdmsgs.h: $YKRevision: /main/dev01/5$, $YKDate: 2026-11-12$",
    "src\\rpc\\ebdrpc.cpp: $YKRevision: /main/dev01/27$, $YKDate: 2026-11-27$",
    "src\\rpc\\ebdrpc.h: $YKRevision: /main/dev01/14$, $YKDate: 2026-11-27$",
    "src\\rpc\\nomierr.h: $YKRevision: /main/2$, $YKDate: 2026-09-21$",
    "src\\link\\gwcoml1.cpp: $YKRevision: /main/dev01/10$, $YKDate: 2026-11-20$",
    "src\\link\\gwcoml1.h: $YKRevision: /main/3$, $YKDate: 2026-10-02$",
    "src\\link\\gwcoml2.cpp: $YKRevision: /main/dev01/7$, $YKDate: 2026-11-20$",
    "src\\link\\gwcoml2.h: $YKRevision: /main/2$, $YKDate: 2026-09-21$",
    "src\\link\\gwcoml3.cpp: $YKRevision: /main/dev01/9$, $YKDate: 2026-11-20$",
    "src\\link\\gwcoml3.h: $YKRevision: /main/2$, $YKDate: 2026-09-21$",
};

}  // namespace ebd
