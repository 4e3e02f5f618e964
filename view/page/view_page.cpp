#include "view/page/view_page.h"

#include "view/character_rom_table.h"  // LUMIVANE_ROM_A00_HEX, LUMIVANE_ROM_A02_HEX
#include "view/gifenc_script.h"        // LUMIVANE_GIFENC_JS
#include "view/nosleep_script.h"       // LUMIVANE_NOSLEEP_JS
#include "view/page/page_tables.h"     // the sizes, encodings, themes and geometry
#include "view/qrcode_script.h"        // LUMIVANE_QRCODE_JS
#include "view/view_page_html.h"       // LUMIVANE_VIEW_PAGE, made from view/page/

namespace view {

// Row texts only ever reach the document through textContent, one character
// per cell: whatever markup a row holds shows as the characters it is made of.
// Under a ROM encoding the cells are drawn as the module draws them, dot by dot
// from the same glyph table the PNG is drawn from; only the cells whose code
// changed are drawn again.
const char kViewPage[] = LUMIVANE_VIEW_PAGE;

}  // namespace view
