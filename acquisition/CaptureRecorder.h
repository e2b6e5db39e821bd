#pragma once
// being written
