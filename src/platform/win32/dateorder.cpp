// The short-date order from the user's regional settings (LOCALE_IDATE: "0"
// month-day-year, "1" day-month-year, "2" year-month-day).
#include "platform/dateorder.h"

#include <windows.h>

DateOrder userDateOrder() {
    char value[8] = "";
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDATE, value, sizeof value) == 0)
        return DATE_MONTH_DAY_YEAR;
    switch (value[0]) {
    case '1':
        return DATE_DAY_MONTH_YEAR;
    case '2':
        return DATE_YEAR_MONTH_DAY;
    default:
        return DATE_MONTH_DAY_YEAR;
    }
}
