// The runtime's application registry: manifests, their keys and auto-launch, kept in a JSON file
// in the state directory so that every process sees the same registrations.
#pragma once

#include <string>
#include <vector>

namespace Json {
class Value;
}

namespace vrsim {

class AppRegistry
{
public:
    explicit AppRegistry(std::string stateDir);

    // Results are EVRApplicationError values.
    int addManifest(const std::string& path, bool temporary);
    int removeManifest(const std::string& path);
    bool isInstalled(const std::string& key) const;
    int workingDirectory(const std::string& key, std::string* directory) const;
    int setAutoLaunch(const std::string& key, bool enabled);
    bool autoLaunch(const std::string& key) const;
    std::vector<std::string> manifests() const;

    // Accepts either separator and relative paths; gives the absolute clean form.
    static std::string normalisePath(const std::string& path);

private:
    struct Manifest {
        std::string path;
        std::string workingDirectory;
        std::vector<std::string> keys;
    };
    struct State {
        std::vector<Manifest> manifests;
        std::vector<std::string> autoLaunchKeys;
    };

    State load() const;
    bool save(const State& state) const;
    State merged() const;
    static bool declares(const Manifest& manifest, const std::string& key);

    std::string m_stateDir;
    std::string m_file;
    std::string m_lockFile;
    std::vector<Manifest> m_temporary;
};

} // namespace vrsim
