#pragma once
// Resource identifiers of the agent. The numbers are fixed: the menu texts are
// string base + language index, and other programs rely on the rest.
#define IDS_SERVICE_NAME 100
#define IDS_PRODUCT_TITLE 600
#define IDS_EXIT_BASE 1882
#define IDS_LAUNCH_BASE 2138
#define IDI_TRAY 103
