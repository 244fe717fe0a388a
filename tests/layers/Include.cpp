// Includes one header as a library of a given layer sees it (see CMakeLists.txt).
#include TOLVEK_HEADER
