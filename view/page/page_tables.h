// The display's tables as the live view's page takes them: JavaScript values
// made at build time from the C++ tables, for view/page/embed_page.cmake's
// @LUMIVANE_...@ place-holders. Include it after the ROM table's header, whose
// hex strings LUMIVANE_ENCODINGS_JS takes in.
#pragma once

#include "platform/page_format.h"
#include "view/lcd/display_tables.h"
#include "view/lcd/encodings.h"

#define LUMIVANE_PAGE_TEXT_OF(value) LUMIVANE_PAGE_TEXT_OF_(value)
#define LUMIVANE_PAGE_TEXT_OF_(value) #value

#define LUMIVANE_MAX_COLUMNS_JS LUMIVANE_PAGE_TEXT_OF(LUMIVANE_PAGE_COLUMNS)
#define LUMIVANE_MAX_ROWS_JS LUMIVANE_PAGE_TEXT_OF(LUMIVANE_PAGE_ROWS)

// ['8x1', ...]
#define LUMIVANE_PAGE_SIZE(columns, rows) "'" #columns "x" #rows "', "
#define LUMIVANE_SIZES_JS "[" LUMIVANE_SIZE_CHOICES(LUMIVANE_PAGE_SIZE) "]"

// { name: { aliases: [...], rom: 'hex' or '' }, ... }, the default first.
#define LUMIVANE_PAGE_ROM_NONE ""
#define LUMIVANE_PAGE_ROM_A00 LUMIVANE_ROM_A00_HEX
#define LUMIVANE_PAGE_ROM_A02 LUMIVANE_ROM_A02_HEX
#define LUMIVANE_PAGE_ENCODING(id, name, alias, other_alias, rom)                                 \
    "\n  '" name "': { aliases: ['" alias "', '" other_alias "'], rom: '" LUMIVANE_PAGE_ROM_##rom \
        "' },"
#define LUMIVANE_ENCODINGS_JS "{" LUMIVANE_ENCODINGS(LUMIVANE_PAGE_ENCODING) "\n}"

// { name: { backlight, on, off }, ... }, the default first.
#define LUMIVANE_PAGE_THEME(id, name, backlight, lit, unlit) \
    "\n  " name ": { backlight: '" backlight "', on: '" lit "', off: '" unlit "' },"
#define LUMIVANE_THEMES_JS "{" LUMIVANE_THEMES(LUMIVANE_PAGE_THEME) "\n}"

// { dot: 4, gap: 1, ... }: the panel's parts in quarters of a dot.
#define LUMIVANE_PAGE_PART(name, quarters) " " #name ": " #quarters ","
#define LUMIVANE_PANEL_JS "{" LUMIVANE_PANEL_GEOMETRY(LUMIVANE_PAGE_PART) " }"
