#include "base/datetime.h"
