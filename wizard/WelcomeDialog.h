// The first page of an interactive installation: the customer's welcome
// title and instructions, the choice of the installation language (every
// text of the page switches at once), a note for users who are not
// administrators on the oldest systems, and Install or Cancel. The chosen
// language stays the settings store's current language.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "wizard/Static.h"
#include "wizard/StyleDialog.h"

class WelcomeDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 135;
  // Install was pressed; every other way out returns IDCANCEL (2).
  static constexpr int kResultInstall = 1021;
  static constexpr int kLanguageComboId = 1002;
  static constexpr int kTitleId = 1003;
  static constexpr int kInstructionsId = 1004;
  static constexpr int kLanguagePromptId = 1007;
  static constexpr int kElevationNoteId = 1011;

  WelcomeDialog();
  ~WelcomeDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;

  // Sets every text of the page, the caption and the note in the current
  // language and moves the instructions under the (fitted) title.
  void UpdateVisibleStrings();
  // Fills the combo box with the selectable languages in the store's order
  // and selects the current one (the first item when it is not listed).
  void FillLanguages();
  void OnNext();

  const std::vector<std::wstring>& GetLanguages() const { return m_languages; }

 protected:
  // The operating system's type code and whether the user is an
  // administrator; the note for non-administrators depends on both.
  virtual int CurrentOS();
  virtual bool CurrentUserIsAdmin();

 private:
  void OnLanguageChange();

  HWND m_languageCombo;
  Static m_title;
  Static m_instructions;
  Static m_languagePrompt;
  std::vector<std::wstring> m_languages;
};
