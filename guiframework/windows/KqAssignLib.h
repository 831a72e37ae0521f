// Assigns: "name:" prefixes that expand into URLs or other assigns
// ("kqgui:x.png" is "dll:///theme/gui/x.png").
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqString.h"

class KqAssignLib : public KqRttiObject {
    KQ_DECLARE_CLASS(KqAssignLib)
public:
    static KqAssignLib* instance();

    void setAssign(const KqStringPair& assign);
    KqString assign(const KqString& name) const { return m_assigns.value(name); }
    bool contains(const KqString& name) const { return m_assigns.contains(name); }
    // Expands leading assigns, turns "\" into "/" and drops trailing "/".
    KqString expand(const KqString& text);
    void loadDefaults();
    void clear();

    // An assign chain longer than this is taken for a loop and left as it is.
    static const int kMaxExpansions = 16;

private:
    bool m_defaultsLoaded = false;
    KqMap<KqString, KqString> m_assigns;
};

// The executable's folder of a module path ("/" separators, no trailing "/").
KqString kqExecutableFolder(const KqString& modulePath);
// The "home" folder: the executable's folder, or the one above it when the
// folder's name is a build folder (Win32, Debug, Release).
KqString kqHomeFolder(const KqString& modulePath);
