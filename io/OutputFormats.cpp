#include "io/OutputFormats.h"

#include <QStringList>

#include <algorithm>

namespace hvk32 {

const std::vector<OutputFormatInfo>& outputFormats()
{
    static const std::vector<OutputFormatInfo> formats{
        {OutputFormat::Csv, "CSV", ".csv", OutputLayout::OneFile},
        {OutputFormat::Pcd, "PCD", ".pcd", OutputLayout::FilePerFrame},
        {OutputFormat::Ply, "PLY", ".ply", OutputLayout::FilePerFrame},
        {OutputFormat::Las, "LAS", ".las", OutputLayout::OneFile},
        {OutputFormat::Kitti, "KITTI", ".bin", OutputLayout::Folder},
        {OutputFormat::Mcap, "MCAP", ".mcap", OutputLayout::OneFile},
    };
    return formats;
}

const OutputFormatInfo& outputFormatInfo(OutputFormat format)
{
    const auto& all = outputFormats();
    return *std::find_if(all.begin(), all.end(), [format](const OutputFormatInfo& f) { return f.format == format; });
}

namespace {

bool writesFile(const OutputFormatInfo& f, OutputUse use)
{
    return use == OutputUse::OneFrame || f.layout != OutputLayout::Folder;
}

} // namespace

std::optional<OutputFormat> outputFormatOf(const QString& path, OutputUse use)
{
    for (const OutputFormatInfo& f : outputFormats())
        if (writesFile(f, use) && path.endsWith(QLatin1String(f.extension), Qt::CaseInsensitive))
            return f.format;
    return std::nullopt;
}

QString extensionList(OutputUse use)
{
    QStringList extensions;
    for (const OutputFormatInfo& f : outputFormats())
        if (writesFile(f, use))
            extensions << QLatin1String(f.extension);
    const QString last = extensions.takeLast();
    return extensions.isEmpty() ? last : extensions.join(QLatin1String(", ")) + QLatin1String(" and ") + last;
}

QString fileDialogFilter(OutputFormat first)
{
    QStringList filters;
    for (const OutputFormatInfo& f : outputFormats()) {
        const QString filter = QStringLiteral("%1 (*%2)").arg(QLatin1String(f.name), QLatin1String(f.extension));
        if (f.format == first)
            filters.prepend(filter);
        else
            filters << filter;
    }
    return filters.join(QLatin1String(";;"));
}

} // namespace hvk32
