#include "platform/host/step_progress.h"

#include <mutex>

namespace morvesk::host {
namespace {

std::mutex g_listener_mu;
StepListener g_listener;

}  // namespace

void SetStepListener(StepListener listener) {
  std::lock_guard lock(g_listener_mu);
  g_listener = std::move(listener);
}

void EnterStep(std::string_view step) {
  StepListener listener;
  {
    std::lock_guard lock(g_listener_mu);
    if (!g_listener) return;
    listener = g_listener;
  }
  listener(step);
}

}  // namespace morvesk::host
