#include "convert.h"

// Windows hands over the command line as typed, in UTF-16, only to wmain.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunConverter(argc, argv); }
#else
int main(int argc, char** argv) { return RunConverter(argc, argv); }
#endif
