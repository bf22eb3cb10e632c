#pragma once
  #  include "engine/value/value.h"
