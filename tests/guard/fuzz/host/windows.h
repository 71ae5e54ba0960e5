// The few Windows types the text functions and the guard name, for a host build of them (the
// fuzz harness): the functions are compiled unchanged, with the Windows calls they make given
// stand-ins (see ../standins.cpp).
#pragma once

#include <stdint.h>

typedef unsigned char BYTE;
typedef int BOOL;
typedef uint32_t DWORD;
typedef unsigned int UINT;

#define MAX_PATH 260
#define TRUE 1
#define FALSE 0
