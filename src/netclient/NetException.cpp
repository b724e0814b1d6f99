#include "netclient/NetException.h"

// The exception classes are header-only; this unit anchors their texts in the
// library so that a translated build can replace the table in one place.
