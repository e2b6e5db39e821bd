#pragma once
// u_char and u_short, the byte and port types the receivers' signals and the dialogs'
// members are declared with. Every header takes them from here.

#include <sys/types.h>
