#include "commandline.h"

#include <unistd.h>

const char* disconnectReasonFromArguments(int argc, char* argv[])
{
    const char* reason = nullptr;
    opterr = 0;
    optind = 0; // a full restart of the parser, should it have run before
    for (int option; (option = getopt(argc, argv, "e:")) != -1;) {
        if (option == 'e')
            reason = optarg;
    }
    return reason;
}
