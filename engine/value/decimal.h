// The engine's exact decimal is the base layer's; the names stay in the engine's
// namespace so that its code reads as before.
#pragma once

#include "base/decimal.h"

namespace morvesk::engine {

using base::Decimal;
using base::DecimalSum;
using base::DecodeKey;
using base::EncodeKey;
using base::FitsPrecision;
using base::Rescale;
using base::TruncateTo;
using base::Add;
using base::Sub;
using base::Mul;
using base::Div;
using base::Mod;
using base::Negate;
using base::AddTo;
using base::SubTo;
using base::MulTo;
using base::Round;
using base::Compare;

}  // namespace morvesk::engine
