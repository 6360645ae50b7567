// The short-date order from the user's time locale (LC_ALL, LC_TIME, LANG), read
// without changing the process's own locale: the order in which "%d", "%m" and "%y"
// (or "%Y") appear in its date format. The C locale's "%m/%d/%y" gives month first.
#include "platform/dateorder.h"

#include <cstring>
#include <langinfo.h>
#include <locale.h>

DateOrder userDateOrder() {
    locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (user == static_cast<locale_t>(0)) return DATE_MONTH_DAY_YEAR;
    const char* format = nl_langinfo_l(D_FMT, user);
    const char* day = format != nullptr ? std::strstr(format, "%d") : nullptr;
    const char* month = format != nullptr ? std::strstr(format, "%m") : nullptr;
    const char* year = format != nullptr ? std::strpbrk(format, "yY") : nullptr;
    DateOrder order = DATE_MONTH_DAY_YEAR;
    if (day != nullptr && month != nullptr && year != nullptr) {
        if (year < month && month < day)
            order = DATE_YEAR_MONTH_DAY;
        else if (day < month)
            order = DATE_DAY_MONTH_YEAR;
    }
    freelocale(user);
    return order;
}
