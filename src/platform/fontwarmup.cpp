#include "fontwarmup.h"

#include <fontconfig/fontconfig.h>

void loadFontConfiguration()
{
    // Qt loads the same configuration on its first font; whichever comes
    // second finds it loaded.
    FcInit();
}
