// The three forms of a report (JSON for machines, CSV one row per test point,
// a self-contained HTML page that prints well), all made from one record, and
// the writing of them beside each other with their SHA-256.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "commission/Checkout.h"

namespace qm90commission {

// Text rules of the three forms.
std::string JsonQuote(std::string_view text);
std::string HtmlEscape(std::string_view text);
// A CSV field, quoted when it holds the separator, a quote or a line break.
std::string CsvField(std::string_view text, char separator);
std::string CsvLine(const std::vector<std::string>& fields, char separator);

// A written report file and the SHA-256 of its contents.
struct ReportFile {
  std::string path;
  std::string sha256;
};

// The column names of the test-point rows, and one checkout's rows (with the
// module's tag, location and address in each, so that rows of many modules
// can stand in one file).
std::vector<std::string> PointColumns();
std::vector<std::vector<std::string>> PointRows(const CheckoutRecord& record);

std::string CheckoutCsv(const CheckoutRecord& record, char separator);
std::string CheckoutHtml(const CheckoutRecord& record);
// The record as one JSON object; `files` (the HTML and CSV written with it)
// go in with their SHA-256.
std::string CheckoutJsonObject(const CheckoutRecord& record);
std::string CheckoutJson(const CheckoutRecord& record, const std::vector<ReportFile>& files);

// The page's style and the pieces every report page shares.
std::string HtmlPageStart(const std::string& title);
std::string HtmlPageEnd();
std::string HtmlSignatureBlock();
std::string HtmlCheckoutSection(const CheckoutRecord& record);

// Writes base + ".html", ".csv" and then ".json" (whose text the callback
// makes from the first two files). Refuses to replace a file that exists.
// Returns the three files, or an empty list with `error` set.
std::vector<ReportFile> WriteReportFiles(
    const std::string& base, const std::string& html, const std::string& csv,
    const std::function<std::string(const std::vector<ReportFile>&)>& json, std::string& error);

}  // namespace qm90commission
