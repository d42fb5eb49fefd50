#include "panel/TrafficModel.h"

#include <QDateTime>

namespace qm90panel {

namespace {

enum Column {
  kTime,
  kLine,
  kAddress,
  kCommand,
  kSubcode,
  kSent,
  kResult,
  kStatus,
  kAnswered,
  kCount
};

QString Bytes(const std::array<int, 5>& bytes) {
  QStringList items;
  for (int byte : bytes) items << QString::number(byte);
  return items.join(u' ');
}

QString ResultText(const QString& result) {
  if (result == u"ok") return QStringLiteral("odpověď");
  if (result == u"drop") return QStringLiteral("zahozena");
  if (result == u"none") return QStringLiteral("bez odpovědi");
  if (result == u"lost") return QStringLiteral("fronta plná");
  return result;
}

}  // namespace

TrafficModel::TrafficModel(std::size_t bound, QObject* parent)
    : QAbstractTableModel(parent), bound_(std::max<std::size_t>(1, bound)) {}

void TrafficModel::Append(const std::vector<ExchangeRecord>& records) {
  if (records.empty()) return;
  if (paused_) {
    skipped_ += static_cast<qint64>(records.size());
    return;
  }
  const std::size_t incoming = std::min(records.size(), bound_);
  const std::size_t total = records_.size() + incoming;
  if (total > bound_) {
    const int remove = static_cast<int>(total - bound_);
    beginRemoveRows({}, 0, remove - 1);
    records_.erase(records_.begin(), records_.begin() + remove);
    endRemoveRows();
  }
  const int first = static_cast<int>(records_.size());
  beginInsertRows({}, first, first + static_cast<int>(incoming) - 1);
  records_.insert(records_.end(), records.end() - static_cast<long>(incoming), records.end());
  endInsertRows();
}

void TrafficModel::Clear() {
  beginResetModel();
  records_.clear();
  skipped_ = 0;
  endResetModel();
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kCount;
}

QString TrafficModel::Cell(const ExchangeRecord& r, int column) const {
  switch (column) {
    case kTime:
      return QDateTime::fromMSecsSinceEpoch(r.unix_ms).toString(QStringLiteral("HH:mm:ss.zzz"));
    case kLine:
      return r.udp ? QStringLiteral("UDP") : QStringLiteral("sériová");
    case kAddress:
      return QString::number(r.address);
    case kCommand:
      return QString::number(r.command);
    case kSubcode:
      return QString::number(r.subcode);
    case kSent:
      return Bytes(r.sent);
    case kResult:
      return ResultText(r.result);
    case kStatus:
      return r.result == u"ok" ? QString::number(r.status) : QString();
    case kAnswered:
      return r.result == u"ok" ? Bytes(r.answered) : QString();
    default:
      return {};
  }
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return Cell(records_[static_cast<std::size_t>(index.row())], index.column());
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  static const char* const kTitles[kCount] = {"Čas",      "Linka",  "Adresa",
                                              "Příkaz",   "Podkód", "Odesláno d0..d4",
                                              "Výsledek", "Stav",   "Přijato d0..d4"};
  return section >= 0 && section < kCount ? QString::fromUtf8(kTitles[section]) : QVariant();
}

QString TrafficModel::ToText() const {
  QString text;
  for (int c = 0; c < kCount; ++c) {
    text += headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    text += c + 1 < kCount ? u'\t' : u'\n';
  }
  for (const ExchangeRecord& r : records_) {
    for (int c = 0; c < kCount; ++c) {
      text += Cell(r, c);
      text += c + 1 < kCount ? u'\t' : u'\n';
    }
  }
  return text;
}

}  // namespace qm90panel
