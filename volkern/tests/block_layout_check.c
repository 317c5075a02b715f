/* The parameter block's two layouts, checked by compiling this file for a 32-bit and a 64-bit
   target (volkern_block_layout_32 / _64): the string pointers at 23, 27, 31 and 35 bytes in all
   in a 32-bit process; at 23, 31, 39 and 47 bytes in a 64-bit one. */
#include "volkern_api.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
_Static_assert(offsetof(VolkernParameters, path) == 23, "32-bit: path at 23");
_Static_assert(offsetof(VolkernParameters, label) == 27, "32-bit: label at 27");
_Static_assert(offsetof(VolkernParameters, oemName) == 31, "32-bit: oemName at 31");
_Static_assert(sizeof(VolkernParameters) == 35, "32-bit: 35 bytes");
#else
_Static_assert(offsetof(VolkernParameters, path) == 23, "64-bit: path at 23");
_Static_assert(offsetof(VolkernParameters, label) == 31, "64-bit: label at 31");
_Static_assert(offsetof(VolkernParameters, oemName) == 39, "64-bit: oemName at 39");
_Static_assert(sizeof(VolkernParameters) == 47, "64-bit: 47 bytes");
#endif
_Static_assert(offsetof(VolkernParameters, mode) == 14, "mode at 14 in both");
