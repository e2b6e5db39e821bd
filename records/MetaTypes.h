#pragma once

// Registers the records that cross thread boundaries on queued signals, under the names
// the connections use: "struct LidarData", "struct SettingData", "std::vector<int>" and
// "QList<int>", and the calibration a played frame travels with. Safe to call more than once.
void registerRecordMetaTypes();
