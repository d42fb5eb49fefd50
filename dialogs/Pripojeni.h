// Pripojeni: window TForm2, the connection dialog. The only place that opens
// the link: it stores the interface kind and its parameters in TData, opens and
// configures the kind's driver library and identifies the module.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "link/Dekl.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;

  // ISA base address as the window shows it: upper-case hex, at least three
  // digits, then "h" (768 -> "300h").
  static QString IsaText(std::uint16_t base);

 public slots:
  void FormShow();
  void ComboBox2Change();
  void Button1Click();
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* Label5 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Panel1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

  void CreateControls();
  void SetTabOrder();
  void ConnectHandlers();
  void ShowKindRow(int kind);
  void SetStatus(const QString& text);

  // Field steps of Button1Click; each returns false when the attempt stops there.
  std::uint8_t ReadAddressField();
  bool ReadKindFields(std::uint8_t kind, std::uint16_t& com_port);
  bool ReadLanFields();
};
