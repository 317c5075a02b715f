#pragma once
/* The flash table of the flash maintenance operations, for C and C++ clients.
 *
 * CreateFlashTable (slot 30) makes one table in a single allocation that FreeFlashTable (slot 31)
 * releases. The table is a top record followed by its chip records; every bitmap starts zero-filled.
 *
 *   top record:  chipCount, channels, chipEnables, then chipCount pointers to chip records
 *   chip record: channels (CH), chipEnables (CE), entryBytes (bitmap bytes per cell), sixteen counters
 *                (one per cell, cell index = ce x CH + ch), then four row pointers (one per CE); each row
 *                points to four column pointers (one per CH), each column to a bitmap of entryBytes bytes.
 *
 * Bit b of bitmap byte k of a cell stands for block 8k + b of that chip enable and channel: set means bad or
 * used. The scan and the table builders take a chip record (table->chips[i]). CE and CH are 1..4; rows and
 * columns past them hold null pointers.
 *
 * The byte offsets of everything that is not a pointer are the same in 32- and 64-bit programs; pointers
 * take 4 or 8 bytes. The records are packed (no padding).
 */

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stddef.h>
#include <stdint.h>
#endif

#define CORELINK_FLASH_MAX_CHANNELS 4
#define CORELINK_FLASH_MAX_CHIP_ENABLES 4
#define CORELINK_FLASH_MAX_CELLS 16

#pragma pack(push, 1)
typedef struct CorelinkFlashChip {
    uint8_t channels;                                /* 0: CH */
    uint8_t chipEnables;                             /* 1: CE */
    uint32_t entryBytes;                             /* 2: bitmap bytes per cell */
    uint32_t counters[CORELINK_FLASH_MAX_CELLS];     /* 6: one per cell, CE-major */
    uint8_t** rows[CORELINK_FLASH_MAX_CHIP_ENABLES]; /* 70: rows[ce][ch] is the cell's bitmap */
} CorelinkFlashChip;

typedef struct CorelinkFlashTable {
    uint8_t chipCount;            /* 0 */
    uint8_t channels;             /* 1 */
    uint8_t chipEnables;          /* 2 */
    CorelinkFlashChip* chips[1];  /* 3: chipCount pointers (the array runs on past its declared length) */
} CorelinkFlashTable;
#pragma pack(pop)

#ifdef __cplusplus
#define CORELINK_STATIC_ASSERT(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define CORELINK_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#else
#define CORELINK_STATIC_ASSERT(condition, text)
#endif
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashChip, channels) == 0, "CH at 0");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashChip, chipEnables) == 1, "CE at 1");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashChip, entryBytes) == 2, "entryBytes at 2");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashChip, counters) == 6, "counters at 6");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashChip, rows) == 70, "row pointers at 70");
CORELINK_STATIC_ASSERT(sizeof(CorelinkFlashChip) == 70 + 4 * sizeof(void*), "86 bytes (32-bit), 102 (64-bit)");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashTable, chipCount) == 0, "chip count at 0");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashTable, channels) == 1, "CH at 1");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashTable, chipEnables) == 2, "CE at 2");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFlashTable, chips) == 3, "chip pointers at 3");

/* The found-block list of FindISPAndCISUseBlock: a count, then 7-byte records. */
#pragma pack(push, 1)
typedef struct CorelinkFoundBlock {
    uint8_t channel;
    uint8_t chipEnable;
    uint32_t bitmapByte;
    uint8_t bit;
} CorelinkFoundBlock;
#pragma pack(pop)
CORELINK_STATIC_ASSERT(sizeof(CorelinkFoundBlock) == 7, "7-byte found-block record");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFoundBlock, bitmapByte) == 2, "bitmap byte at 2");
CORELINK_STATIC_ASSERT(offsetof(CorelinkFoundBlock, bit) == 6, "bit at 6");
