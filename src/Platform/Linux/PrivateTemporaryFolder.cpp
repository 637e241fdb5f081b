#include "PrivateTemporaryFolder.h"

#include "PrivateFolder.h"
#include "XdgPaths.h"

namespace velmora::platform::PrivateTemporaryFolder {

QString path()
{
    return XdgPaths::privateTemporaryFolder();
}

std::variant<QString, SystemError> ensure()
{
    return PrivateFolder::ensure(path());
}

} // namespace velmora::platform::PrivateTemporaryFolder
