#include "bench/stall/stall_probe.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "bench/common/measure.h"

namespace bench {

StallProbe::StallProbe() {
  // A precise timer: a coarse one may fire up to 5 % late by design, which is no stall.
  m_timer.setTimerType(Qt::PreciseTimer);
  m_timer.setInterval(kIntervalMs);
  QObject::connect(&m_timer, &QTimer::timeout, [this] { Turn(); });
}

void StallProbe::Start() {
  m_gaps.clear();
  m_at.clear();
  m_started = m_last = Now();
  m_timer.start();
}

void StallProbe::Stop() {
  m_timer.stop();
  Turn();
}

void StallProbe::Turn() {
  const double now = Now();
  m_gaps.push_back(now - m_last);
  m_at.push_back(m_last - m_started);
  m_last = now;
}

double StallProbe::Longest() const {
  return m_gaps.empty() ? 0 : *std::max_element(m_gaps.begin(), m_gaps.end());
}

double StallProbe::LongestAt() const {
  if (m_gaps.empty()) return 0;
  return m_at[static_cast<std::size_t>(std::max_element(m_gaps.begin(), m_gaps.end()) -
                                       m_gaps.begin())];
}

double StallProbe::Percentile(double p) const {
  if (m_gaps.empty()) return 0;
  std::vector<double> sorted = m_gaps;
  std::sort(sorted.begin(), sorted.end());
  // Nearest rank.
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * sorted.size()));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

std::vector<std::pair<double, double>> StallProbe::Over(double limit, std::size_t n) const {
  std::vector<std::size_t> order(m_gaps.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [this](std::size_t a, std::size_t b) { return m_gaps[a] > m_gaps[b]; });
  std::vector<std::pair<double, double>> over;
  for (const std::size_t i : order) {
    if (m_gaps[i] <= limit || over.size() == n) break;
    over.emplace_back(m_at[i], m_gaps[i]);
  }
  return over;
}

}  // namespace bench
