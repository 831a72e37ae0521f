// Prints the expansions of the default folder assigns, one a line, for a
// test that runs a copy of this program from a build-named folder.
#include "KqAssignLib.h"

#include <cstdio>

int main()
{
    for (const char16_t* name : {u"home:", u"bin:", u"root:"}) {
        KqByteArray utf8 = KqAssignLib::instance()->expand(KqString(name)).toUtf8();
        std::printf("%s\n", utf8.data());
    }
    return 0;
}
