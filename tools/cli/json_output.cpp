#include "tools/cli/json_output.h"

#include <nlohmann/json.hpp>

#include "tools/cli/version_value.h"

namespace flashwell::cli {

namespace {

using Json = nlohmann::ordered_json;

// The key column of a key that runs its booter holds a notice in place of versions.
constexpr const char* kBooterRow = "BOOTER";

Json event(const char* name) {
  Json e;
  e["v"] = kJsonVersion;
  e["event"] = name;
  return e;
}

// Texts that are not valid UTF-8 are written with replacement characters rather than refused.
void put(std::ostream& out, const Json& e) {
  out << e.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n" << std::flush;
}

const char* textEventName(TextKind kind) {
  switch (kind) {
    case TextKind::caption:
      return "caption";
    case TextKind::status:
      return "status";
    case TextKind::prompt:
      return "prompt";
    case TextKind::message:
      return "message";
    case TextKind::notice:
      return "notice";
  }
  return "message";
}

Json textEvent(const char* name, const std::string& text) {
  Json e = event(name);
  e["text"] = text;
  return e;
}

// One row: its label, its text as the window shows it, and the version in it, or null with the
// reason there is none.
Json row(const std::string& label, const std::string& value, bool booter) {
  Json r{{"label", label}, {"value", value}};
  const std::optional<VersionValue> v = booter ? std::nullopt : versionValue(value);
  if (v) {
    r["version"] = {{"major", v->major},
                    {"minor", v->minor},
                    {"patch", v->patch ? Json(*v->patch) : Json(nullptr)},
                    {"date", v->date}};
    return r;
  }
  r["version"] = nullptr;
  const bool blank = value.find_first_not_of(' ') == std::string::npos;
  r["state"] = booter ? "booter" : blank ? "none" : "unreadable";
  return r;
}

Json columnRows(const std::vector<std::pair<std::string, std::string>>& rows) {
  const bool booter = !rows.empty() && rows.front().second == kBooterRow;
  Json list = Json::array();
  for (const auto& [label, value] : rows) list.push_back(row(label, value, booter));
  return list;
}

}  // namespace

void JsonOutput::text(TextKind kind, const std::string& text) {
  put(out_, textEvent(textEventName(kind), text));
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
  e["answer"] = yes;
  put(out_, e);
}

void JsonOutput::phase(const Phase& phase, const std::string& text) {
  Json e = event("phase");
  e["id"] = phase.id;
  if (!phase.component.empty()) e["component"] = phase.component;
  e["text"] = text;
  put(out_, e);
}

void JsonOutput::error(const std::string& code, const std::string& text) {
  Json e = event("error");
  e["code"] = code;
  e["text"] = text;
  put(out_, e);
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
  for (const auto& r : info.rows) {
    tool.emplace_back(r[0], r[1]);
    key.emplace_back(r[0], r[2]);
  }
  e["tool"] = columnRows(tool);
  e["key"] = columnRows(key);
  put(out_, e);
}

// Line 0: the log ran out before the run did.
void JsonOutput::replayDiffers(std::size_t line, const std::string& recorded,
                               const std::string& sent) {
  Json e = event("replay");
  e["line"] = line == 0 ? Json(nullptr) : Json(line);
  e["recorded"] = recorded;
  e["sent"] = sent;
  put(out_, e);
}

void JsonOutput::end(int exitCode) {
  Json e = event("end");
  e["exit_code"] = exitCode;
  put(out_, e);
}

void writeJsonRefusal(std::ostream& out, const std::string& why, int exitCode) {
  JsonOutput json(out);
  json.error("usage", why);
  json.end(exitCode);
}

}  // namespace flashwell::cli
