#include "utils/prometheus_text.h"

#include <charconv>
#include <cmath>

namespace nc {
namespace {

// HELP text escapes backslash and line feed; a label value also the double quote.
void appendEscaped(std::string& out, std::string_view text, bool quotes) {
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '"' && quotes)
      out += "\\\"";
    else
      out += c;
  }
}

}  // namespace

void PrometheusText::family(std::string_view name, std::string_view type, std::string_view help) {
  name_ = name;
  text_.append("# HELP ").append(name).append(" ");
  appendEscaped(text_, help, false);
  text_.append("\n# TYPE ").append(name).append(" ").append(type).append("\n");
}

void PrometheusText::sample(uint64_t value, std::initializer_list<PrometheusLabel> labels) {
  sampleText(std::to_string(value), labels);
}

void PrometheusText::sample(double value, std::initializer_list<PrometheusLabel> labels) {
  if (std::isnan(value)) return sampleText("NaN", labels);
  if (std::isinf(value)) return sampleText(value > 0 ? "+Inf" : "-Inf", labels);
  char text[32];
  const char* end = std::to_chars(text, text + sizeof text, value).ptr;
  sampleText(std::string_view(text, static_cast<size_t>(end - text)), labels);
}

void PrometheusText::sampleText(std::string_view value, std::initializer_list<PrometheusLabel> labels) {
  text_ += name_;
  if (labels.size() > 0) {
    char separator = '{';
    for (const PrometheusLabel& label : labels) {
      text_.append(1, separator).append(label.name).append("=\"");
      appendEscaped(text_, label.value, true);
      text_ += '"';
      separator = ',';
    }
    text_ += '}';
  }
  text_.append(" ").append(value).append("\n");
}

}  // namespace nc
