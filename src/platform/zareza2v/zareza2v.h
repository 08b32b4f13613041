/*
 * libzareza2v: the host kernel's C interface over one project design
 * database (a ".dpz" file).
 *
 * Conventions every call follows:
 * - Handles are 32-bit integers; a result of 0 or less means failure or
 *   "none". Handles carry their kind, so a handle of the wrong kind is
 *   refused (0) instead of being misread.
 * - Texts going in are NUL-terminated Windows-1252 (8-bit) strings. The
 *   separator inside a device text is the byte 0x80.
 * - Texts coming back are text handles (int32). Z_TextPointer() resolves one
 *   to a kernel-owned NUL-terminated Windows-1252 string. The caller copies
 *   it and never frees it. Every text handle stays valid, and its text
 *   unchanged, until the project is closed: a changed device text or string
 *   value gets a new handle.
 * - Record words that hold texts hold text handles, and E_SysTable() returns
 *   an opaque base handle that E_MemCopy() resolves, so no result depends on
 *   the size of a pointer.
 * - Entries of a map come back in the order the project lists them.
 * - One project is open at a time. The library is meant for one thread (the
 *   host's user-interface thread); calls from several threads must be
 *   serialised by the caller.
 * - File paths (Z_OpenProject, Z_SaveProjectAs) and Z_LastError() are UTF-8,
 *   because they belong to the operating system and the user, not to the
 *   design data.
 */
#ifndef ZAREZA2V_H
#define ZAREZA2V_H

#include <stdint.h>

#if defined(__GNUC__)
#define ZAREZA2V_API __attribute__((visibility("default")))
#else
#define ZAREZA2V_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Component record: 36 bytes, nine 32-bit words. */
typedef struct Z_ComponentRecord {
    int32_t handle; /* +0  the layout component itself */
    int32_t name; /* +4  text handle: the component name ("R12") */
    int32_t reserved8; /* +8  0 */
    int32_t reserved12; /* +12 0 */
    int32_t reserved16; /* +16 0 */
    int32_t symbol; /* +20 symbol handle, 0 when the component has none */
    int32_t device; /* +24 device handle, 0 when the component has none */
    int32_t reserved28; /* +28 0 */
    int32_t schCompCount; /* +32 number of schematic component ids (L_GetSchCompId) */
} Z_ComponentRecord;

/* Device record: 24 bytes, six 32-bit words. */
typedef struct Z_DeviceRecord {
    int32_t handle; /* +0  the device itself */
    int32_t name; /* +4  text handle: the device name */
    int32_t library; /* +8  text handle: the library the device comes from;
                        D_ChangeDevice wants it back unchanged as text 1 */
    int32_t text; /* +12 text handle: the device text, "FIRSTWORD tok1\x80tok2\x80tok3" */
    int32_t reserved16; /* +16 0 */
    int32_t reserved20; /* +20 0 */
} Z_DeviceRecord;

/* Schematic component record: 48 bytes, twelve 32-bit words. */
typedef struct Z_SchematicRecord {
    int32_t handle; /* +0  the schematic component id */
    int32_t component; /* +4  the layout component it belongs to */
    int32_t textArray; /* +8  its text array (as C_CompTextArray) */
    int32_t textCount; /* +12 number of text items in that array */
    int32_t reserved[8]; /* +16..+44 0 */
} Z_SchematicRecord;

/* Text item record: 52 bytes, thirteen 32-bit words. */
typedef struct Z_ItemRecord {
    int32_t handle; /* +0  the text item itself */
    int32_t mask; /* +4  the item's mask bits (4: description, 8: value) */
    int32_t reserved[9]; /* +8..+40 0 */
    int32_t text; /* +44 text handle: the item text */
    int32_t reserved48; /* +48 0 */
} Z_ItemRecord;

#ifdef __cplusplus
static_assert(sizeof(Z_ComponentRecord) == 36, "component record is 36 bytes");
static_assert(sizeof(Z_DeviceRecord) == 24, "device record is 24 bytes");
static_assert(sizeof(Z_SchematicRecord) == 48, "schematic record is 48 bytes");
static_assert(sizeof(Z_ItemRecord) == 52, "item record is 52 bytes");
#else
_Static_assert(sizeof(Z_ComponentRecord) == 36, "component record is 36 bytes");
_Static_assert(sizeof(Z_DeviceRecord) == 24, "device record is 24 bytes");
_Static_assert(sizeof(Z_SchematicRecord) == 48, "schematic record is 48 bytes");
_Static_assert(sizeof(Z_ItemRecord) == 52, "item record is 52 bytes");
#endif

/* ---- Design database ------------------------------------------------- */

/* The open design database (its object has the project's name), 0 when no
   project is open. */
ZAREZA2V_API int32_t DB_DataBase(void);
/* The current hierarchy, as an entry of DB_HierarchyMap(). */
ZAREZA2V_API int32_t DB_CurHier(void);
ZAREZA2V_API int32_t DB_HierarchyMap(void);
ZAREZA2V_API int32_t DB_LayCompMap(void);
ZAREZA2V_API int32_t DB_DeviceMap(void);

/* ---- Maps ------------------------------------------------------------ */

/* A cursor before the first entry of `map`. */
ZAREZA2V_API int32_t OM_GetFirst(int32_t map);
/* The entry at *cursor (> 0), advancing the cursor; 0 at the end or for a bad
   map or cursor. The two mask arguments select entries; 0, 0 selects all
   (other values are reserved and select nothing). */
ZAREZA2V_API int32_t OM_SearchMask(int32_t map, int32_t* cursor, int32_t mask1, int32_t mask2);
/* The object of an entry of `map` (for the three maps, the entry itself). */
ZAREZA2V_API int32_t OM_Object(int32_t map, int32_t entry);
/* The device named `name` (exact bytes) in the device map, 0 when none. */
ZAREZA2V_API int32_t OM_FindName(int32_t map, const char* name);

/* ---- Objects --------------------------------------------------------- */

/* Text handle of the name of a database, hierarchy, layout component,
   device or symbol; 0 for anything else. */
ZAREZA2V_API int32_t O_GetName(int32_t object);
ZAREZA2V_API int32_t D_Device(int32_t device);
ZAREZA2V_API int32_t S_Symbol(int32_t symbol);

/* Nonzero on success; the record is zeroed and 0 returned on failure. */
ZAREZA2V_API int32_t L_ReadComponent(int32_t component, Z_ComponentRecord* record);
/* The k-th (1-based) schematic component id of a layout component, > 0 when
   present. */
ZAREZA2V_API int32_t L_GetSchCompId(int32_t component, int32_t k);

ZAREZA2V_API int32_t D_ReadDevice(int32_t device, Z_DeviceRecord* record);
/* Replaces the device text with `deviceText`. `library` must be the handle at
   word +8 of the device's record. The change is written to the project file
   in one transaction before the call returns: a crash leaves the old or the
   new text, never a damaged file. Returns nonzero when the device was
   changed; 0 (nothing changed, Z_LastError() says why) for an unknown
   device, a wrong library handle, a text over 1023 bytes, or a project file
   that cannot be written. */
ZAREZA2V_API int32_t D_ChangeDevice(int32_t device, int32_t library, const char* deviceText);

/* > 0 on success. */
ZAREZA2V_API int32_t C_ReadComponent(int32_t schComp, Z_SchematicRecord* record);
ZAREZA2V_API int32_t C_CompTextArray(int32_t schComp);
/* Position (1-based, >= start) of the first text of the array whose mask
   shares a bit with `mask`; 0 when none. */
ZAREZA2V_API int32_t OA_SearchMask(int32_t textArray, int32_t start, int32_t mask);
/* The text item at `position` (1-based) of a schematic component. */
ZAREZA2V_API int32_t C_CompText(int32_t schComp, int32_t position);
ZAREZA2V_API int32_t I_ReadItem(int32_t item, Z_ItemRecord* record);

/* ---- String table, system tables, help ------------------------------- */

/* Text handle of the value stored under `name`, 0 when absent. */
ZAREZA2V_API int32_t E_GetString(const char* name);
/* Stores `value` under `name` (the project file keeps it). Nonzero on
   success. */
ZAREZA2V_API int32_t E_SetString(const char* name, const char* value);
/* Opaque base handle of system table `number`, 0 when the project has no
   such table. Byte offset n of the table is the handle + n. Table 12 holds
   the help-follow flag, a 32-bit word at offset 2044. */
ZAREZA2V_API int32_t E_SysTable(int32_t number);
/* Copies `count` bytes from the kernel memory that `source` (a base handle +
   offset) denotes into `destination`. Returns the count copied, 0 when the
   range lies outside the table. */
ZAREZA2V_API int32_t E_MemCopy(void* destination, int32_t source, int32_t count);

/* What H_DispTopic calls: the host's help display. `window` is whatever
   the caller passed (a native window id); `helpFile` is Windows-1252. */
typedef void (*Z_HelpDisplayFn)(void* context, int64_t window, const char* helpFile, int32_t topic);
/* Hands the three arguments to the registered help display. Returns 1 when
   a display is registered, 0 otherwise. */
ZAREZA2V_API int32_t H_DispTopic(int64_t window, const char* helpFile, int32_t topic);

/* ---- Host entry points ----------------------------------------------- */

/* Opens a project file, closing the one that was open. Returns nonzero on
   success. A missing, foreign or damaged file fails with a message in
   Z_LastError() and leaves no project open. */
ZAREZA2V_API int32_t Z_OpenProject(const char* path);
/* Write-backs and their journal. Every D_ChangeDevice is journalled in the
   project file (device, text before, text after) in the same transaction as
   the change. Changes made between Z_BeginChange and Z_EndChange form one
   write-back: one transaction, one journal entry, undone together. A change
   outside them is a write-back of its own. */
/* Opens a write-back (a transaction on the file). Nonzero on success; 0 when
   one is open already, no project is open or the file cannot be written. */
ZAREZA2V_API int32_t Z_BeginChange(void);
/* Ends the open write-back: commit != 0 writes it (nonzero on success),
   commit == 0 drops every change made since Z_BeginChange, in the file and
   in memory (returns 0). A failing commit drops them too. */
ZAREZA2V_API int32_t Z_EndChange(int32_t commit);
/* Puts back the device texts the last journalled write-back replaced and
   removes it from the journal, in one transaction; called again, undoes the
   one before. Returns the number of device texts restored; 0 with
   Z_LastError() "There is nothing to undo." when the journal is empty, or
   another sentence when a device was changed outside the journal since, or
   the file cannot be written (nothing is changed then). */
ZAREZA2V_API int32_t Z_UndoChange(void);
/* Closes the open project; all handles become invalid. */
ZAREZA2V_API void Z_CloseProject(void);
/* Writes a copy of the open project (with every change made so far) to
   `path`, then continues on that copy. Nonzero on success. */
ZAREZA2V_API int32_t Z_SaveProjectAs(const char* path);
/* The file of the open project (UTF-8), "" when none. The pointer stays valid
   until the next open or close. */
ZAREZA2V_API const char* Z_ProjectPath(void);
/* The kernel-owned text of a text handle, NULL for anything else. */
ZAREZA2V_API const char* Z_TextPointer(int32_t text);
/* Registers the host's help display (NULL removes it). */
ZAREZA2V_API void Z_SetHelpDisplay(Z_HelpDisplayFn display, void* context);
/* A sentence about the most recent failure, UTF-8; "" when none happened
   since the last successful Z_OpenProject. The pointer stays valid until the
   next failing call. */
ZAREZA2V_API const char* Z_LastError(void);

#ifdef __cplusplus
}
#endif

#endif /* ZAREZA2V_H */
