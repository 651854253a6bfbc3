#pragma once

// The disconnect reason given with "-e" (the last one wins), or null when
// there is none; every other option is ignored. Qt's own options must have
// been taken out of argv already (QApplication does that).
const char* disconnectReasonFromArguments(int argc, char* argv[]);
