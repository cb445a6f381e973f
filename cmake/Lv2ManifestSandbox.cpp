// Linked into the tool that writes the LV2 bundle's manifest at build time. The tool loads the
// plug-in and constructs a processor, which reads (and on a first start writes) the user's
// preferences, and asks on screen for a recording folder when none is stored. Before the tool's
// main runs, this gives it a home folder of its own, with a folder stored, and no display: the
// build never touches the builder's files and never opens a window.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace
{
class ManifestSandbox
{
public:
    ManifestSandbox()
    {
        char name[] = "/tmp/quorvel-lv2-manifest-XXXXXX";

        if (mkdtemp (name) == nullptr)
            return;

        home = name;
        const auto config = home / ".config";
        const auto preferences = config / "Varrow's" / "Quorvel";
        std::error_code error;
        std::filesystem::create_directories (preferences, error);

        std::ofstream (preferences / "Quorvel.vasettings")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<PROPERTIES>\n"
            << "  <VALUE name=\"Recording Path\" val=\"" << home.string() << "\"/>\n"
            << "</PROPERTIES>\n";

        setenv ("HOME", home.c_str(), 1);
        setenv ("XDG_CONFIG_HOME", config.c_str(), 1);
        unsetenv ("DISPLAY");
    }

    ~ManifestSandbox()
    {
        std::error_code error;

        if (! home.empty())
            std::filesystem::remove_all (home, error);
    }

    ManifestSandbox (const ManifestSandbox&) = delete;
    ManifestSandbox& operator= (const ManifestSandbox&) = delete;

private:
    std::filesystem::path home;
};

const ManifestSandbox sandbox;
} // namespace
