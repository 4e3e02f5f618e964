// The display's lists, each once, as tables that the C++ expands and the
// live view's page is given at build time (view/page/page_tables.h): the
// sizes its chooser offers, the themes and their colours, and the panel's
// geometry.
#pragma once

// Every size the page's chooser offers, as COLUMNS, ROWS.
#define LUMIVANE_SIZE_CHOICES(SIZE) \
    SIZE(8, 1)                      \
    SIZE(8, 2)                      \
    SIZE(16, 1)                     \
    SIZE(16, 2)                     \
    SIZE(16, 4)                     \
    SIZE(20, 1) SIZE(20, 2) SIZE(20, 4) SIZE(24, 2) SIZE(40, 1) SIZE(40, 2) SIZE(40, 4) SIZE(80, 4)

// Every theme, the default first: its enumerator, its name, and its colours:
// the backlight, a lit dot, and an unlit one, which stays faintly visible as
// on a real panel.
#define LUMIVANE_THEMES(THEME)                              \
    THEME(kGreen, "green", "#9cc83a", "#1a2c08", "#8fba35") \
    THEME(kBlue, "blue", "#1f3fd0", "#f0f6ff", "#2b4ddb")   \
    THEME(kAmber, "amber", "#f2a01e", "#3a1c00", "#e3941b") \
    THEME(kWhite, "white", "#e9ecee", "#1c2024", "#dadee1") \
    THEME(kOled, "oled", "#000000", "#d8f0ff", "#12161a")

// The bezel around the backlight, whatever the theme.
#define LUMIVANE_BEZEL_COLOUR "#2a2c2e"

// The panel's geometry in quarters of a dot: a dot, the gap between two dots
// of a character, the backlight's margin around the cells and the bezel
// around the backlight. Two characters stand a dot and a gap apart. A part
// of Q quarters is ceil(Q * scale / 4) pixels at `scale` pixels per dot.
#define LUMIVANE_PANEL_GEOMETRY(PART) PART(dot, 4) PART(gap, 1) PART(margin, 12) PART(bezel, 16)
