// The last exchanges the emulator served, newest last, at most Bound() of
// them. Records come in batches (a few times a second), so that a busy line
// costs the panel a few repaints, not one per request.
#pragma once

#include <QAbstractTableModel>
#include <deque>

#include "panel/SimLink.h"

namespace qm90panel {

class TrafficModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr std::size_t kDefaultBound = 500;

  explicit TrafficModel(std::size_t bound = kDefaultBound, QObject* parent = nullptr);
  std::size_t Bound() const { return bound_; }

  // While paused, what arrives is counted, not kept.
  void SetPaused(bool paused) { paused_ = paused; }
  bool Paused() const { return paused_; }
  qint64 Skipped() const { return skipped_; }
  void Append(const std::vector<ExchangeRecord>& records);
  void Clear();

  // The list as text, one exchange a line, tab-separated, with a heading line.
  QString ToText() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QString Cell(const ExchangeRecord& record, int column) const;
  std::size_t bound_;
  std::deque<ExchangeRecord> records_;
  bool paused_ = false;
  qint64 skipped_ = 0;
};

}  // namespace qm90panel
