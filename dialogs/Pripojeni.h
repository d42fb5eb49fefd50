// Pripojeni: window TForm2, the connection dialog. The only place that opens
// the link: it stores the interface kind and its parameters in TData, opens and
// configures the kind's driver library and identifies the module.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/FormWindow.h"
#include "link/Dekl.h"

class TForm2 : public TFormWindow {
 public:
  explicit TForm2(qm90ui::TForm* owner);
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;

  // ISA base address as the window shows it: upper-case hex, at least three
  // digits, then "h" (768 -> "300h").
  static std::string IsaText(std::uint16_t base);

  void FormShow();
  void ComboBox2Change();
  void Button1Click();
  void Button2Click();

 private:
  qm90ui::TLabel* Label5 = nullptr;
  qm90ui::TComboList* ComboBox2 = nullptr;
  qm90ui::TLabel* Label3 = nullptr;
  qm90ui::TEdit* Edit2 = nullptr;
  qm90ui::TLabel* Label6 = nullptr;
  qm90ui::TEdit* Edit3 = nullptr;
  qm90ui::TLabel* Label7 = nullptr;
  qm90ui::TEdit* Edit4 = nullptr;
  qm90ui::TLabel* Label1 = nullptr;
  qm90ui::TEdit* Edit1 = nullptr;
  qm90ui::TLabel* Label2 = nullptr;
  qm90ui::TComboList* ComboBox1 = nullptr;
  qm90ui::TLabel* Label4 = nullptr;
  qm90ui::TPanel* Panel1 = nullptr;
  qm90ui::TButton* Button1 = nullptr;
  qm90ui::TButton* Button2 = nullptr;

  void CreateControls();
  void SetTabOrder();
  void ConnectHandlers();
  void ShowKindRow(int kind);
  void SetStatus(const std::string& text);

  // Field steps of Button1Click; each returns false when the attempt stops there.
  std::uint8_t ReadAddressField();
  bool ReadKindFields(std::uint8_t kind, std::uint16_t& com_port);
  bool ReadLanFields();
};
