// The program's version, shared by the About box, the Windows version block and
// the packages.
#pragma once

#define VELMORA_VERSION_MAJOR 1
#define VELMORA_VERSION_MINOR 3
#define VELMORA_VERSION_PATCH 0
#define VELMORA_VERSION_BUILD 0

// Comma form for the Windows version block.
#define VELMORA_VERSION_NUMBERS 1, 3, 0, 0
#define VELMORA_VERSION_TEXT "1.3.0.0"

#define VELMORA_FILE_DESCRIPTION "Velmora Application"
#define VELMORA_PRODUCT_NAME "Velmora Application"
#define VELMORA_INTERNAL_NAME "Velmora"
