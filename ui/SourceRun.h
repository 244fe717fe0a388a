// The window's way to the reconstructed source: the parts of the device data
// and one source run, as the command line's --source makes it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/Device.h"
#include "ui/SourceMaker.h"

class TSourceRun : public TSourceMaker {
  public:
    // The device data is looked for where the command line looks for it.
    explicit TSourceRun(const std::string& programDirectory);

    std::vector<std::string> Parts(std::string& error) override;
    TSourceResult Make(const TSourceRequest& request) override;

  private:
    std::string deviceFile_;
    std::optional<tolvek::devices::DeviceDb> devices_;
};
