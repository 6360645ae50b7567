// Fields of the engine state owned by the driver, output names, output files and listing.
#pragma once

struct DriverFields {
};
