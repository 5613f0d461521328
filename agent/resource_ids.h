#pragma once
// Resource identifiers of the agent; the numbers are fixed, other programs and
// the registration rely on them.
#define IDS_SERVICE_NAME 100
#define IDS_PRODUCT_TITLE 600
