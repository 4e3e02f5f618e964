// Windows only: the DLL as the host sees it.
#include "tests/support/driver_session.h"

#include <gtest/gtest.h>
