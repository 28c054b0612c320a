// The progress context every codec receives: where to report whole
// percentages and the flag that both cancels the work and signals failure.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace lumora {

class TIOProgress {
 public:
  using TCallback = std::function<void(int percent)>;

  // A context with its own aborting flag and no callback (tools, tests, fuzzing).
  TIOProgress() : aborting_(&ownAborting_) {}
  // A context over an I/O object's flag and progress dispatcher.
  TIOProgress(std::atomic<bool>& aborting, TCallback callback)
      : aborting_(&aborting), callback_(std::move(callback)) {}
  TIOProgress(const TIOProgress&) = delete;
  TIOProgress& operator=(const TIOProgress&) = delete;

  // Percent per unit of work, usually 100 / rows. SetTotalUnits(rows) sets it.
  double PerUnit = 0;
  void SetTotalUnits(int64_t units) { PerUnit = units > 0 ? 100.0 / static_cast<double>(units) : 0; }

  // Reports trunc(unitsDone * PerUnit) and answers whether to go on.
  bool Report(int64_t unitsDone) {
    ReportPercent(PercentOf(unitsDone));
    return !Aborting();
  }
  // The same, but calls back only when the percentage changed.
  bool ReportIfChanged(int64_t unitsDone) {
    int percent = PercentOf(unitsDone);
    if (percent != lastPercent_) ReportPercent(percent);
    return !Aborting();
  }
  void ReportPercent(int percent) {
    lastPercent_ = percent;
    if (callback_) callback_(percent);
  }

  // Failure (set by a codec) or cancellation (set by the caller).
  bool Aborting() const { return aborting_->load(std::memory_order_relaxed); }
  void Abort() { aborting_->store(true, std::memory_order_relaxed); }

 private:
  int PercentOf(int64_t unitsDone) const { return static_cast<int>(static_cast<double>(unitsDone) * PerUnit); }

  std::atomic<bool> ownAborting_{false};
  std::atomic<bool>* aborting_;  // not owned unless it points at ownAborting_
  TCallback callback_;
  int lastPercent_ = -1;
};

using IOProgress = TIOProgress;

}  // namespace lumora
