#include "commission/Report.h"

#include <cstdio>

#include "base/Files.h"
#include "base/ModuleCommands.h"
#include "base/Text.h"
#include "commission/Sha256.h"

namespace qm90commission {

namespace {

constexpr const char* kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 10pt; margin: 1.5em; color: #000; }
h1 { font-size: 15pt; margin: 0 0 0.4em 0; }
h2 { font-size: 12pt; margin: 1.2em 0 0.4em 0; }
table { border-collapse: collapse; width: 100%; margin-bottom: 0.8em; }
th, td { border: 1px solid #666; padding: 2px 5px; text-align: left; vertical-align: top; }
th { background: #e4e4e4; }
table.header th { width: 22%; }
td.pass { background: #d9f2d9; }
td.fail { background: #f7c9c9; font-weight: bold; }
td.skip { background: #eeeeee; }
.banner { border: 2px solid #a00; color: #a00; padding: 4px 8px; font-weight: bold; margin: 0.5em 0; }
.sign td { height: 3.2em; width: 33%; }
tr { page-break-inside: avoid; }
@media print { body { margin: 0; } th { background: #e4e4e4 !important; -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

std::string HeaderRow(const std::string& name, const std::string& value) {
  return "<tr><th>" + HtmlEscape(name) + "</th><td>" + HtmlEscape(value) + "</td></tr>\n";
}

std::string Fingerprint(const CheckoutHeader& header) {
  return header.registers_read ? ConfigurationFingerprint(header.registers) : "not read";
}

std::string JsonStrings(const std::vector<std::string>& texts) {
  std::string json;
  for (const std::string& text : texts)
    json += std::string(json.empty() ? "" : ",") + JsonQuote(text);
  return "[" + json + "]";
}

std::string SummaryText(const CheckoutRecord& record) {
  const Summary summary = Summarize(record);
  return std::to_string(summary.passed) + " passed, " + std::to_string(summary.failed) +
         " failed, " + std::to_string(summary.skipped) + " skipped";
}

}  // namespace

std::string JsonQuote(std::string_view text) {
  return base::JsonQuote(text);
}

std::string HtmlEscape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string CsvField(std::string_view text, char separator) {
  if (text.find_first_of(std::string{separator, '"', '\n', '\r'}) == std::string_view::npos)
    return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields, char separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += separator;
    line += CsvField(fields[i], separator);
  }
  return line + "\r\n";
}

std::vector<std::string> PointColumns() {
  return {"tag",      "location", "address", "group",   "channel", "commanded",
          "expected", "observed", "verdict", "retries", "comment"};
}

std::vector<std::vector<std::string>> PointRows(const CheckoutRecord& record) {
  std::vector<std::vector<std::string>> rows;
  const CheckoutHeader& h = record.header;
  for (const TestPoint& p : record.points)
    rows.push_back({h.tag, h.location, std::to_string(h.address), p.group, p.channel, p.commanded,
                    p.expected, p.observed, VerdictWord(p.verdict), std::to_string(p.retries),
                    p.comment});
  return rows;
}

std::string CheckoutCsv(const CheckoutRecord& record, char separator) {
  std::string csv = CsvLine(PointColumns(), separator);
  for (const auto& row : PointRows(record)) csv += CsvLine(row, separator);
  return csv;
}

std::string HtmlPageStart(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
         HtmlEscape(title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
}

std::string HtmlPageEnd() {
  return "</body>\n</html>\n";
}

std::string HtmlSignatureBlock() {
  return "<h2>Signatures</h2>\n<table class=\"sign\">\n"
         "<tr><th>Role</th><th>Name</th><th>Date</th><th>Signature</th></tr>\n"
         "<tr><th>Operator</th><td></td><td></td><td></td></tr>\n"
         "<tr><th>Witness</th><td></td><td></td><td></td></tr>\n</table>\n";
}

std::string HtmlCheckoutSection(const CheckoutRecord& record) {
  const CheckoutHeader& h = record.header;
  std::string html;
  if (record.ending != Ending::kCompleted)
    html += "<div class=\"banner\">Run " + HtmlEscape(EndingWord(record.ending)) + ": " +
            HtmlEscape(record.ending_text) + "</div>\n";
  html += "<table class=\"header\">\n";
  html += HeaderRow("Started", h.started) + HeaderRow("Finished", h.finished) +
          HeaderRow("Operator", h.operator_name) + HeaderRow("Witness", h.witness) +
          HeaderRow("Tag", h.tag) + HeaderRow("Location", h.location) +
          HeaderRow("Module", h.module_name) + HeaderRow("Interface", h.interface) +
          HeaderRow("Address", std::to_string(h.address)) +
          HeaderRow("Rate", std::to_string(h.baud) + " Bd") +
          HeaderRow("Configuration", Fingerprint(h)) + HeaderRow("Mode", h.mode) +
          HeaderRow("Program", "qm90 " + h.version) +
          HeaderRow("Power-up state", record.restore_text);
  html += "</table>\n";
  if (!record.link_breaks.empty()) {
    html += "<p><b>The link was interrupted:</b></p>\n<ul>\n";
    for (const std::string& note : record.link_breaks)
      html += "<li>" + HtmlEscape(note) + "</li>\n";
    html += "</ul>\n";
  }
  html +=
      "<table>\n<tr><th>#</th><th>Channel</th><th>Commanded</th><th>Expected</th>"
      "<th>Observed</th><th>Verdict</th><th>Retries</th><th>Comment</th></tr>\n";
  int number = 0;
  for (const TestPoint& p : record.points) {
    const std::string verdict = VerdictWord(p.verdict);
    html += "<tr><td>" + std::to_string(++number) + "</td><td>" + HtmlEscape(p.channel) +
            "</td><td>" + HtmlEscape(p.commanded) + "</td><td>" + HtmlEscape(p.expected) +
            "</td><td>" + HtmlEscape(p.observed) + "</td><td class=\"" + verdict + "\">" + verdict +
            "</td><td>" + std::to_string(p.retries) + "</td><td>" + HtmlEscape(p.comment) +
            "</td></tr>\n";
  }
  html += "</table>\n<p><b>Summary:</b> " + HtmlEscape(SummaryText(record)) + "; run " +
          HtmlEscape(EndingWord(record.ending)) + ".</p>\n";
  return html;
}

std::string CheckoutHtml(const CheckoutRecord& record) {
  const std::string title = "I/O checkout " + record.header.tag;
  return HtmlPageStart(title) + "<h1>" + HtmlEscape(title) + "</h1>\n" +
         HtmlCheckoutSection(record) + HtmlSignatureBlock() + HtmlPageEnd();
}

std::string CheckoutJsonObject(const CheckoutRecord& record) {
  const CheckoutHeader& h = record.header;
  const Summary summary = Summarize(record);
  std::string registers;
  for (std::size_t i = 0; i < h.registers.size(); ++i)
    registers += std::string(i ? "," : "") + "\"" + std::to_string(qm90cmd::kRegisters[i]) +
                 "\":" + std::to_string(h.registers[i]);
  std::string points;
  for (const TestPoint& p : record.points)
    points += std::string(points.empty() ? "" : ",") + "{\"group\":" + JsonQuote(p.group) +
              ",\"channel\":" + JsonQuote(p.channel) + ",\"commanded\":" + JsonQuote(p.commanded) +
              ",\"expected\":" + JsonQuote(p.expected) + ",\"observed\":" + JsonQuote(p.observed) +
              ",\"verdict\":" + JsonQuote(VerdictWord(p.verdict)) +
              ",\"retries\":" + std::to_string(p.retries) + ",\"comment\":" + JsonQuote(p.comment) +
              "}";
  return "{\"started\":" + JsonQuote(h.started) + ",\"finished\":" + JsonQuote(h.finished) +
         ",\"operator\":" + JsonQuote(h.operator_name) + ",\"witness\":" + JsonQuote(h.witness) +
         ",\"tag\":" + JsonQuote(h.tag) + ",\"location\":" + JsonQuote(h.location) +
         ",\"module\":" + JsonQuote(h.module_name) + ",\"interface\":" + JsonQuote(h.interface) +
         ",\"address\":" + std::to_string(h.address) + ",\"baud\":" + std::to_string(h.baud) +
         ",\"version\":" + JsonQuote(h.version) + ",\"mode\":" + JsonQuote(h.mode) +
         ",\"registers\":" + (h.registers_read ? "{" + registers + "}" : "null") +
         ",\"fingerprint\":" + JsonQuote(Fingerprint(h)) + ",\"points\":[" + points +
         "],\"summary\":{\"passed\":" + std::to_string(summary.passed) +
         ",\"failed\":" + std::to_string(summary.failed) +
         ",\"skipped\":" + std::to_string(summary.skipped) +
         "},\"ending\":" + JsonQuote(EndingWord(record.ending)) +
         ",\"ending_text\":" + JsonQuote(record.ending_text) +
         ",\"interrupted\":" + (record.ending == Ending::kInterrupted ? "true" : "false") +
         ",\"restored\":" + (record.restored ? "true" : "false") +
         ",\"restore_text\":" + JsonQuote(record.restore_text) +
         ",\"link_breaks\":" + JsonStrings(record.link_breaks) +
         ",\"exit\":" + std::to_string(CheckoutExitStatus(record)) + "}";
}

static std::string FilesJson(const std::vector<ReportFile>& files) {
  std::string json;
  for (const ReportFile& file : files)
    json += std::string(json.empty() ? "" : ",") + "{\"path\":" + JsonQuote(file.path) +
            ",\"sha256\":" + JsonQuote(file.sha256) + "}";
  return "[" + json + "]";
}

std::string CheckoutJson(const CheckoutRecord& record, const std::vector<ReportFile>& files) {
  std::string object = CheckoutJsonObject(record);
  object.pop_back();
  return object + ",\"report_files\":" + FilesJson(files) + "}\n";
}

std::vector<ReportFile> WriteReportFiles(
    const std::string& base, const std::string& html, const std::string& csv,
    const std::function<std::string(const std::vector<ReportFile>&)>& json, std::string& error) {
  const std::vector<std::string> paths = {base + ".html", base + ".csv", base + ".json"};
  for (const std::string& path : paths)
    if (base::PathExists(path)) {
      error = path + " exists already; it is left as it is";
      return {};
    }
  std::vector<ReportFile> files;
  auto write = [&](const std::string& path, const std::string& text) {
    std::string why;
    if (!base::ReplaceFileAtomically(path, text, base::NewFileAccess::kShared, &why)) {
      error = "cannot write " + path + ": " + why;
      return false;
    }
    files.push_back({path, Sha256Hex(text)});
    return true;
  };
  if (!write(paths[0], html) || !write(paths[1], csv) || !write(paths[2], json(files))) return {};
  return files;
}

}  // namespace qm90commission
