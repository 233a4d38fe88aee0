#include "windows/program.h"

#include "diagnostics/principal.h"
#include "display/afficheur.h"
#include "supervision/quitter.h"
#include "windows/bindings.h"

namespace velane {

Program::Program(platform::Platform& platform, SettingsStore& settings, std::u16string contentRoot)
    : platform(platform), settings(settings), contentRoot(std::move(contentRoot)) {}

Program::~Program() = default;

void Program::Start() {
  principal& trace = GetPrincipal();
  if (!trace.HiddenByLoad()) trace.Window().Show();
}

principal& Program::GetPrincipal() {
  if (!principal_) {
    principal_ = std::make_unique<principal>(*this);
    Raise(*this, Event::principal_Load);
  }
  return *principal_;
}

Afficheur& Program::GetAfficheur() {
  if (!afficheur_) {
    afficheur_ = std::make_unique<Afficheur>(*this);
    Raise(*this, Event::Afficheur_Load);
  }
  return *afficheur_;
}

Quitter& Program::GetQuitter() {
  if (!quitter_) quitter_ = std::make_unique<Quitter>(*this);
  return *quitter_;
}

}  // namespace velane
