// The order in which the user writes short dates, for listings that hand dates over
// as three numbers.
#pragma once

enum DateOrder { DATE_MONTH_DAY_YEAR = 0, DATE_DAY_MONTH_YEAR = 1, DATE_YEAR_MONTH_DAY = 2 };

// The user's short-date order; month-day-year when it cannot be found out.
DateOrder userDateOrder();
