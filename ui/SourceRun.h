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
    std::string NameFault(const std::string& part, const std::string& name) override;
    TSourceStudy Study(const TSourceRequest& request) override;

  private:
    // The part, or null with the reason in status.
    const tolvek::devices::Device* Device(const std::string& part, std::string& status);
    // The job of a request.
    static tolvek::SourceJob JobOf(const TSourceRequest& request);
    // The status line's text for a run that failed.
    static std::string FaultText(const tolvek::SourceOutcome& outcome);

    std::string deviceFile_;
    std::optional<tolvek::devices::DeviceDb> devices_;
};
