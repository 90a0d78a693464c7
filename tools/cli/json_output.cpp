#include "tools/cli/json_output.h"

#include <nlohmann/json.hpp>

namespace flashwell::cli {

namespace {

using Json = nlohmann::ordered_json;

Json event(const char* name) {
  Json e;
  e["event"] = name;
  return e;
}

// Texts that are not valid UTF-8 are written with replacement characters rather than refused.
void put(std::ostream& out, const Json& e) {
  out << e.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n" << std::flush;
}

Json textEvent(const char* name, const std::string& text) {
  Json e = event(name);
  e["text"] = text;
  return e;
}

Json columnRows(const std::vector<std::pair<std::string, std::string>>& rows) {
  Json list = Json::array();
  for (const auto& [label, value] : rows) list.push_back({{"label", label}, {"value", value}});
  return list;
}

}  // namespace

void JsonOutput::caption(const std::string& text) {
  put(out_, textEvent("caption", text));
}

void JsonOutput::status(const std::string& text) {
  put(out_, textEvent("status", text));
}

void JsonOutput::prompt(const std::string& text) {
  put(out_, textEvent("prompt", text));
}

void JsonOutput::column(const Column& column) {
  Json e = event("column");
  e["side"] = column.side;
  e["heading"] = column.heading;
  e["rows"] = columnRows(column.rows);
  put(out_, e);
}

void JsonOutput::question(const std::string& text, bool yes) {
  Json e = textEvent("question", text);
  e["answer"] = yes ? "Yes" : "No";
  put(out_, e);
}

void JsonOutput::message(const std::string& text) {
  put(out_, textEvent("message", text));
}

// Only when the step, the percentage or the end changes: not the elapsed time of every tick.
void JsonOutput::progress(const Progress& p) {
  if (p.step == lastStep_ && p.percent == lastPercent_ && p.finished == lastFinished_) return;
  lastStep_ = p.step;
  lastPercent_ = p.percent;
  lastFinished_ = p.finished;
  Json e = event("progress");
  e["step"] = p.step;
  e["percent"] = p.percent;
  e["sent"] = p.sent;
  e["total"] = p.total;
  e["elapsed_ms"] = p.elapsedMs;
  put(out_, e);
}

void JsonOutput::key(const KeyInfo& info) {
  Json e = event("key");
  e["program"] = info.program;
  e["packet"] = info.packet;
  e["mark"] = info.mark;
  std::vector<std::pair<std::string, std::string>> tool, key;
  for (const auto& row : info.rows) {
    tool.emplace_back(row[0], row[1]);
    key.emplace_back(row[0], row[2]);
  }
  e["tool"] = columnRows(tool);
  e["key"] = columnRows(key);
  put(out_, e);
}

void JsonOutput::replayDiffers(std::size_t line, const std::string& recorded,
                               const std::string& sent) {
  Json e = event("replay");
  e["line"] = line;
  e["recorded"] = recorded;
  e["sent"] = sent;
  put(out_, e);
}

void JsonOutput::end(int exitCode) {
  Json e = event("end");
  e["exit_code"] = exitCode;
  put(out_, e);
}

}  // namespace flashwell::cli
