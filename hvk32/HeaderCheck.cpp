// Compiled alone with -Wall -Wextra -Wpedantic -Werror: the public header includes what it
// uses and nothing of the project's own.
#include <hvk32/hvk32.h>
