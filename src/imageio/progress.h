// The progress context every codec receives: where to report whole
// percentages and the flag that both cancels the work and signals failure.
#pragma once

#include <atomic>
#include <cstdint>
#include <climits>
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
  void SetTotalUnits(int64_t units) {
    totalUnits_ = units > 0 ? units : 0;
    PerUnit = totalUnits_ > 0 ? 100.0 / static_cast<double>(totalUnits_) : 0;
    perUnitOfTotal_ = PerUnit;
  }

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
  // With a known total the percentage is computed in integers: on 32-bit x86
  // the x87 unit can give rows * (100.0 / rows) as 99.999..., so the last
  // row would report 99.
  int PercentOf(int64_t unitsDone) const {
    if (totalUnits_ > 0 && PerUnit == perUnitOfTotal_ && unitsDone >= 0 && unitsDone <= INT64_MAX / 100)
      return static_cast<int>(unitsDone * 100 / totalUnits_);
    return static_cast<int>(static_cast<double>(unitsDone) * PerUnit);
  }

  std::atomic<bool> ownAborting_{false};
  std::atomic<bool>* aborting_;  // not owned unless it points at ownAborting_
  TCallback callback_;
  int lastPercent_ = -1;
  int64_t totalUnits_ = 0;       // set by SetTotalUnits; 0 when PerUnit was set directly
  double perUnitOfTotal_ = 0;    // the PerUnit that SetTotalUnits computed
};

using IOProgress = TIOProgress;

}  // namespace lumora
