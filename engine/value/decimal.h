// The engine's exact decimal is the base layer's; the names stay in the engine's
// namespace so that its code reads as before.
#pragma once

#include "base/decimal.h"

namespace morvesk::engine {

using base::Add;
using base::AddTo;
using base::Compare;
using base::Decimal;
using base::DecimalSum;
using base::DecodeKey;
using base::Div;
using base::EncodeKey;
using base::FitsPrecision;
using base::Mod;
using base::Mul;
using base::MulTo;
using base::Negate;
using base::Rescale;
using base::Round;
using base::Sub;
using base::SubTo;
using base::TruncateTo;

}  // namespace morvesk::engine
