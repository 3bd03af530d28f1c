#pragma once

#include "platform/foundation/PlistValue.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Bundle;
}

namespace oxlade::test {

/// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    /// path() joined with a relative path.
    std::string operator/(std::string_view relative) const;

private:
    std::string m_path;
};

/// Writes bytes to a file, making its folders first.
void writeFile(const std::string& path, std::string_view bytes);
/// Makes a folder and its parents.
void makeFolder(const std::string& path);
/// The whole file, or none.
std::optional<std::string> readFile(const std::string& path);
bool exists(const std::string& path);

/// Texts of one strings table: key to text.
using Texts = std::map<std::string, std::string>;

/// The "key" = "text"; form of a strings table, in UTF-8.
std::string stringsTableBytes(const Texts& texts);

/// What a bundle made for a test holds; the setters chain.
struct BundleContents {
    std::string folderName = "Oxlade.bundle";
    std::optional<std::string> identifier = std::string("com.tavix.Oxlade");
    std::optional<platform::PlistDictionary> catalogue;
    /// Written in binary form instead of XML.
    bool binaryCatalogue = false;
    /// Localization folder name ("English") to its table.
    std::map<std::string, Texts> tables;

    BundleContents& named(std::string name)
    {
        folderName = std::move(name);
        return *this;
    }
    BundleContents& identifiedAs(std::optional<std::string> value)
    {
        identifier = std::move(value);
        return *this;
    }
    BundleContents& withCatalogue(platform::PlistDictionary value)
    {
        catalogue = std::move(value);
        return *this;
    }
    BundleContents& binary()
    {
        binaryCatalogue = true;
        return *this;
    }
    BundleContents& table(const std::string& localization, Texts texts)
    {
        tables[localization] = std::move(texts);
        return *this;
    }
};

/// Makes parent/folderName with Contents/Info.plist and Contents/Resources, and answers the
/// bundle object for it (not registered).
std::shared_ptr<platform::Bundle> makeBundle(const std::string& parent, const BundleContents& contents);

/// A catalogue entry from key-value pairs of strings; "PathsFiles" given separately.
platform::PlistDictionary entry(std::initializer_list<std::pair<const char*, const char*>> strings,
                                std::optional<std::vector<std::string>> pathsFiles = std::nullopt);

/// A catalogue root holding "APPs" and any further string keys.
platform::PlistDictionary catalogue(std::vector<platform::PlistDictionary> apps,
                                    std::initializer_list<std::pair<const char*, const char*>> strings = {});

/// The bytes of a PS path file naming folder.
std::string pathFileBytes(std::string_view folder);

/// Isolates one test: its own home and machine root (HOME, PLATFORM_ROOT), no loaded bundles
/// but the main one, no preferred languages, no bundle holding the pane's code, and a captured
/// log.
class PaneFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string home() const { return m_temp / "home"; }
    std::string root() const { return m_temp / "root"; }
    std::string preferences() const;
    std::string planPath() const;
    /// Writes a PS path file into the Preferences folder.
    void writePathFile(const std::string& name, std::string_view bytes) const;
    /// Makes a bundle under the test's folder and adds it to the loaded bundles.
    std::shared_ptr<platform::Bundle> addBundle(const BundleContents& contents, const std::string& parent = "bundles");
    /// Makes a folder under the test's folder and answers its path.
    std::string folder(const std::string& relative) const;
    void setLanguages(std::vector<std::string> languages);

    const std::vector<std::string>& logLines() const { return *m_log; }

    TempFolder m_temp;

private:
    std::shared_ptr<std::vector<std::string>> m_log = std::make_shared<std::vector<std::string>>();
    std::optional<std::string> m_oldHome;
    std::optional<std::string> m_oldRoot;
};

}  // namespace oxlade::test
