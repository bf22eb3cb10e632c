// Streaming a batch's output. A session that cannot hand items over as they are made
// runs the batch whole and forwards its results afterwards, in the same order.
#include "engine/engine.h"

namespace morvesk::engine {

BatchResult Connection::ExecuteStreaming(std::string_view batch, ResultSink& sink) {
  BatchResult out;
  try {
    out = Execute(batch);
  } catch (const SqlError&) {
    BatchResult before = PartialResult();
    for (Result& r : before.results) sink.Take(std::move(r));
    throw;
  }
  for (Result& r : out.results) sink.Take(std::move(r));
  out.results.clear();
  return out;
}

}  // namespace morvesk::engine
