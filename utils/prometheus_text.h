// Prometheus' text exposition format 0.0.4: each metric family's HELP and
// TYPE lines, then its samples, one per line.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace nc {

inline constexpr std::string_view prometheusContentType = "text/plain; version=0.0.4; charset=utf-8";

struct PrometheusLabel {
  std::string_view name;
  std::string_view value;
};

class PrometheusText {
 public:
  // Starts a family; `type` is "counter" or "gauge". A counter's name ends in
  // _total, and a name carries its unit (_bytes, _seconds).
  void family(std::string_view name, std::string_view type, std::string_view help);
  // A sample of the family last started.
  void sample(uint64_t value, std::initializer_list<PrometheusLabel> labels = {});
  void sample(double value, std::initializer_list<PrometheusLabel> labels = {});

  const std::string& text() const { return text_; }

 private:
  void sampleText(std::string_view value, std::initializer_list<PrometheusLabel> labels);

  std::string text_;
  std::string name_;
};

}  // namespace nc
