#include "measure/RunLog.h"

namespace rz417::measure {

std::FILE *openForWriting(const std::string &path)
{
    return std::fopen(path.c_str(), "wb");
}

} // namespace rz417::measure
