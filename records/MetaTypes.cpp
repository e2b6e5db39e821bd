#include "records/MetaTypes.h"

#include "records/DeviceCalibration.h"
#include "records/LidarData.h"
#include "records/SettingData.h"

#include <QList>
#include <QMetaType>

#include <vector>

void registerRecordMetaTypes()
{
    // Qt normalises the names ("struct LidarData" becomes "LidarData"), so they match the
    // declared signals; a name Qt already knows is kept as an alias of the same type.
    qRegisterMetaType<LidarData>("struct LidarData");
    qRegisterMetaType<SettingData>("struct SettingData");
    qRegisterMetaType<std::vector<int>>("std::vector<int>");
    qRegisterMetaType<QList<int>>("QList<int>");
    qRegisterMetaType<hvk32::DeviceCalibration>();
}
