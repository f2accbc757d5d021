#pragma once

#include <memory>

namespace jukebox {

class PlinkarM;
class PlinkarV;
class PlinkarC;

// A model, a view and a controller that name one another. Each holds non-owning references to
// records kept elsewhere, so a cycle can be built from three objects that outlive it.

class PlinkarM {
  public:
    PlinkarM(const PlinkarV& mView, const PlinkarC& mCtrl) noexcept
        : view_(std::addressof(mView)), ctrl_(std::addressof(mCtrl)) {}
    [[nodiscard]] const PlinkarV& mView() const noexcept { return *view_; }
    [[nodiscard]] const PlinkarC& mCtrl() const noexcept { return *ctrl_; }

  private:
    const PlinkarV* view_;
    const PlinkarC* ctrl_;
};

class PlinkarV {
  public:
    PlinkarV(const PlinkarM& vModel, const PlinkarC& vCtrl) noexcept
        : model_(std::addressof(vModel)), ctrl_(std::addressof(vCtrl)) {}
    [[nodiscard]] const PlinkarM& vModel() const noexcept { return *model_; }
    [[nodiscard]] const PlinkarC& vCtrl() const noexcept { return *ctrl_; }

  private:
    const PlinkarM* model_;
    const PlinkarC* ctrl_;
};

class PlinkarC {
  public:
    PlinkarC(const PlinkarM& cModel, const PlinkarV& cView) noexcept
        : model_(std::addressof(cModel)), view_(std::addressof(cView)) {}
    [[nodiscard]] const PlinkarM& cModel() const noexcept { return *model_; }
    [[nodiscard]] const PlinkarV& cView() const noexcept { return *view_; }

  private:
    const PlinkarM* model_;
    const PlinkarV* view_;
};

} // namespace jukebox
