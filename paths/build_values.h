/* The compiled-in company, product and version: read by the template expander and the version resource. */
#ifndef TARVEX_PATHS_BUILD_VALUES_H
#define TARVEX_PATHS_BUILD_VALUES_H

/* Only preprocessor definitions here: windres runs the C preprocessor over this file. */
#define TARVEX_COMPANY "Vantor Works"
#define TARVEX_PRODUCT "Korvane Field Studio"
#define TARVEX_VERSION "1.0.0.0"
/* The same version as the four numbers of VERSIONINFO's FILEVERSION and PRODUCTVERSION. */
#define TARVEX_VERSION_COMMA 1, 0, 0, 0

/* L"..." form of a narrow literal above, for C++: TARVEX_WIDEN(TARVEX_COMPANY). */
#define TARVEX_WIDEN2(x) L##x
#define TARVEX_WIDEN(x) TARVEX_WIDEN2(x)

#endif
