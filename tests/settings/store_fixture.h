#pragma once
// The options store over veltran.ini, options.dat and the secrets file, all in the test's
// own temporary folder.

#include "log/connection_log.h"
#include "settings/options_store.h"
#include "settings/secret_store.h"
#include "settings/settings_file.h"
#include "working_directory.h"

#include <memory>

class StoreInTemporaryDirectory : public InTemporaryDirectory
{
protected:
    void SetUp() override
    {
        InTemporaryDirectory::SetUp();
        file = std::make_unique<SettingsFile>(QStringLiteral("veltran.ini"));
        store = std::make_unique<OptionsStore>(log);
        store->setFiles(QStringLiteral("options.dat"), file.get());
        store->setSecrets(&secrets);
    }
    void TearDown() override
    {
        store.reset();
        file.reset();
        InTemporaryDirectory::TearDown();
    }

    ConnectionLog log;
    SecretStore secrets { QStringLiteral("veltran.secrets"), SecretStore::Backend::File };
    std::unique_ptr<SettingsFile> file;
    std::unique_ptr<OptionsStore> store;
};
