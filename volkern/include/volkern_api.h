/* Volkern.dll: builds FAT32 file systems on disk image files, drives and physical disks.
 *
 * Every entry point takes a parameter block (VolkernParameters below), writes its result code into
 * the block's `status` (0 = success, else one of the VOLKERN_ERROR_ codes) and returns that same
 * code, except knlfs_GetFAT32RootSectorAddr, which returns the sector it found (0 on failure).
 *
 * The block is packed (no padding). In a 32-bit process it is 35 bytes and its three string
 * pointers sit at the unaligned offsets 23, 27 and 31. In a 64-bit process a pointer takes 8 bytes,
 * so the same three fields sit at 23, 31 and 39 and the block is 47 bytes; every field before them
 * is at the same offset in both. Callers fill the block with the layout of their own process, which
 * is the only layout the library of that process reads.
 *
 *   offset  size  field
 *    0      4     status        out: 0 = success, else a VOLKERN_ERROR_ code
 *    4      8     sectorCount   in:  size in 512-byte sectors. An image: required, its whole size
 *                               (the MBR included for a partitioned image). A drive or disk: 0 = all
 *                               of it, else at most what it holds
 *   12      1     sectorsPerCluster in: 0 = chosen from the size (table below), else 1, 2, 4, ..., 128
 *   13      1     options       in:  bit 0 = partitioned image (an MBR with one partition at 1 MiB);
 *                               bit 1 = an image may replace an existing file; other bits 0
 *   14      1     mode          for the component: bits 0..2 == 4 make it call the no-unmount
 *                               entry point for a physical disk. The library ignores this byte:
 *                               which entry point is called decides
 *   15      4     volumeSerial  in:  the volume serial number; 0 = made from the current time
 *   19      4     rootSector    out: after a build, the sector of the root directory on the image,
 *                               drive or disk (counted from its first sector)
 *   23      4/8   path          in:  the image file (image operations; GetFAT32RootSectorAddr reads
 *                               it when given). 8-bit text in the system code page
 *   27/31   4/8   label         in:  the volume label, up to 11 characters: letters, digits, blanks
 *                               and ! # $ % & ' ( ) - @ ^ _ ` { } ~; lower case is stored upper
 *                               case; null or empty = no label
 *   31/39   4/8   oemName       in:  the boot sector's 8-character system name; null = "VOLKERN"
 *
 * Cluster size chosen from the size: up to 260 MiB 512 bytes, up to 8 GiB 4 KiB, up to 16 GiB
 * 8 KiB, up to 32 GiB 16 KiB, above 32 KiB. FAT32 needs 65525 to 268435444 clusters and at most
 * 2^32 - 1 sectors (2 TiB): sizes outside that are refused. The layout: 32 reserved sectors or
 * more (boot sector 0, FSInfo 1, backup boot sector 6, backup FSInfo 7), two FATs, the data area
 * aligned to 1 MiB from the start of the disk (and so to every cluster size), the root directory
 * in cluster 2.
 */
#ifndef VOLKERN_API_H
#define VOLKERN_API_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stddef.h>
#include <stdint.h>
#endif

#ifdef _WIN32
#define VOLKERN_CALL __stdcall
#else
#define VOLKERN_CALL
#endif

#pragma pack(push, 1)
typedef struct VolkernParameters {
    uint32_t status;
    uint64_t sectorCount;
    uint8_t sectorsPerCluster;
    uint8_t options;
    uint8_t mode;
    uint32_t volumeSerial;
    uint32_t rootSector;
    const char* path;
    const char* label;
    const char* oemName;
} VolkernParameters;
#pragma pack(pop)

#define VOLKERN_OPTION_PARTITIONED_IMAGE 0x01u
#define VOLKERN_OPTION_REPLACE_IMAGE 0x02u
#define VOLKERN_MODE_UNMOUNT_MASK 0x07u
#define VOLKERN_MODE_NO_UNMOUNT 0x04u

/* Result codes (the block's status). */
#define VOLKERN_OK 0u
#define VOLKERN_ERROR_NO_BLOCK 0xF001u          /* the block pointer is null */
#define VOLKERN_ERROR_BAD_PARAMETER 0xF002u     /* a reserved option bit set, a bad cluster size, no path
                                                   (or one over 32767 bytes), a bad system name */
#define VOLKERN_ERROR_BAD_LABEL 0xF003u         /* the label is too long or has a character FAT refuses */
#define VOLKERN_ERROR_SIZE_TOO_SMALL 0xF004u    /* fewer than 65525 clusters would fit */
#define VOLKERN_ERROR_SIZE_TOO_LARGE 0xF005u    /* over 2^32 - 1 sectors, too many clusters, or
                                                   more than the drive or disk holds */
#define VOLKERN_ERROR_TARGET_EXISTS 0xF006u     /* the image file exists and may not be replaced */
#define VOLKERN_ERROR_OPEN_FAILED 0xF007u       /* the image, drive or disk cannot be opened */
#define VOLKERN_ERROR_WRITE_FAILED 0xF008u      /* a write was refused; the target is incomplete */
#define VOLKERN_ERROR_READ_FAILED 0xF009u       /* a read was refused */
#define VOLKERN_ERROR_NO_SUCH_DISK 0xF00Au      /* no disk, or more than one, has that device number */
#define VOLKERN_ERROR_SYSTEM_DISK 0xF00Bu       /* the disk holds the system's own volumes */
#define VOLKERN_ERROR_SYSTEM_DRIVE 0xF00Cu      /* the drive is the system's, or lies on its disk */
#define VOLKERN_ERROR_SYSTEM_UNKNOWN 0xF00Du    /* where the system's volumes lie cannot be read */
#define VOLKERN_ERROR_BAD_DRIVE 0xF00Eu         /* no such drive letter, not a disk volume, or a volume
                                                   that spans disks */
#define VOLKERN_ERROR_SECTOR_SIZE 0xF00Fu       /* the device's sectors are not 512 bytes */
#define VOLKERN_ERROR_VOLUME_IN_USE 0xF010u     /* a volume of the disk cannot be locked */
#define VOLKERN_ERROR_NOT_FAT32 0xF011u         /* the image holds no FAT32 file system */
#define VOLKERN_ERROR_TEXT 0xF012u              /* a wide string has no exact 8-bit form (the component) */
#define VOLKERN_ERROR_INTERNAL 0xF013u          /* out of memory or another unexpected failure */

#ifdef __cplusplus
#define VOLKERN_STATIC_ASSERT(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VOLKERN_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#else
#define VOLKERN_STATIC_ASSERT(condition, text)
#endif
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, status) == 0, "status at 0");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, sectorCount) == 4, "sectorCount at 4");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, sectorsPerCluster) == 12, "sectorsPerCluster at 12");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, options) == 13, "options at 13");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, mode) == 14, "mode at 14");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, volumeSerial) == 15, "volumeSerial at 15");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, rootSector) == 19, "rootSector at 19");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, path) == 23, "first string pointer at 23");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, label) == 23 + sizeof(void*), "second string pointer");
VOLKERN_STATIC_ASSERT(offsetof(VolkernParameters, oemName) == 23 + 2 * sizeof(void*), "third string pointer");
VOLKERN_STATIC_ASSERT(sizeof(VolkernParameters) == 23 + 3 * sizeof(void*), "35 bytes (32-bit), 47 bytes (64-bit)");

#ifdef __cplusplus
extern "C" {
#endif

/* An image file at `path` of `sectorCount` sectors. A new file is sparse: only the file system's
   own structures are written. */
uint32_t VOLKERN_CALL knlfs_CreateFileSystemImage(VolkernParameters* block);
/* The volume of drive `drive`: 0..25 for A: to Z:, or the letter itself ('A'..'Z', 'a'..'z').
   The volume keeps its place on the disk; its partition table entry is not changed. */
uint32_t VOLKERN_CALL knlfs_BuildDriveFileSystem(VolkernParameters* block, int drive);
/* The physical disk with this device number: a new MBR with one FAT32 partition at 1 MiB. The
   first variant locks and dismounts the disk's volumes first (and refuses when one is in use);
   the second leaves them alone. */
uint32_t VOLKERN_CALL knlfs_BuildPhyDiskFileSystem(uint32_t deviceNumber, VolkernParameters* block);
uint32_t VOLKERN_CALL knlfs_BuildPhyDiskFileSystemNoUMount(uint32_t deviceNumber, VolkernParameters* block);
/* The sector of the root directory: read from the image at `path` when given (a FAT32 volume, or
   an MBR whose first FAT32 partition holds one), else the layout a build with this block would
   make. Also stored in the block's rootSector. */
uint32_t VOLKERN_CALL knlfs_GetFAT32RootSectorAddr(VolkernParameters* block);

#ifdef __cplusplus
}
#endif

#endif /* VOLKERN_API_H */
