// Figures for the skin's picture work: shaping a window from its mask and
// composing a captioned button.
#include "skin/SkinPicture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace {

// A rounded window mask: a few runs per row.
QImage roundedMask(int width, int height) {
    QImage mask(width, height, QImage::Format_RGB32);
    mask.fill(Qt::white);
    QPainter painter(&mask);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(0, 0, width, height), 14, 14);
    return mask;
}

// The worst case: pixel noise, about a third of the pixels inside.
QImage noiseMask(int width, int height) {
    QImage mask(width, height, QImage::Format_RGB32);
    QRandomGenerator random(1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) mask.setPixel(x, y, random.bounded(3) == 0 ? 0xFF000000 : 0xFFFFFFFF);
    return mask;
}

void RegionFromRoundedMask(benchmark::State& state) {
    const QImage mask = roundedMask(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(skin::RegionFromPicture(mask));
}
BENCHMARK(RegionFromRoundedMask)->Args({1280, 800})->Args({640, 400})->Unit(benchmark::kMicrosecond);

void RegionFromNoise(benchmark::State& state) {
    const QImage mask = noiseMask(static_cast<int>(state.range(0)), static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(skin::RegionFromPicture(mask));
}
BENCHMARK(RegionFromNoise)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond);

void StretchMenu(benchmark::State& state) {
    QImage picture(288, 56, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::darkGray);
    for (auto _ : state) benchmark::DoNotOptimize(skin::StretchMenuPicture(picture, 400, 12));
}
BENCHMARK(StretchMenu)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
