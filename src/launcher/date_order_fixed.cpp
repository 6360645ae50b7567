/*
 * The engine hands listed dates over in the user's short-date order, which the platform
 * layer reads from the system's locale files. The launcher lists archives only to add up
 * their sizes and never looks at a date, so the statically linked Linux stub defines the
 * order here: the linker then leaves the platform's locale reader (and the C library's
 * locale loader behind it, about 40 KB) out of the stub, and the stub reads no locale
 * files of a system whose C library may differ from the one it was built with.
 */
#include "platform/dateorder.h"

DateOrder userDateOrder() {
    return DATE_MONTH_DAY_YEAR;
}
