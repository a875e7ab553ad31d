// Skeleton of the engine's CadApplication; the document model lands next.
#include "cad/dxf/dxf_application.h"

namespace plenvo::dxf {
namespace {

class SkeletonApplication final : public DxfApplication {
 public:
  std::unique_ptr<CadDocument> activeDocument() override { return nullptr; }
  bool update() override { return false; }
  bool zoomExtents() override { return false; }
  bool openDrawing(const std::string& path) override {
    error_ = path + ": the DXF engine is not complete yet";
    return false;
  }
  bool saveAs(const std::string& path) override {
    error_ = path + ": the DXF engine is not complete yet";
    return false;
  }
  std::string lastError() const override { return error_; }

 private:
  std::string error_;
};

}  // namespace

std::unique_ptr<DxfApplication> DxfApplication::create() { return std::make_unique<SkeletonApplication>(); }

}  // namespace plenvo::dxf
