"""The README's batch recipes, run as written on a small capture (with small ranges)."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from conftest import CLI, cli, exported_points

README = Path(__file__).resolve().parents[2] / "README.md"


def recipe(heading_text, language, index=0):
    """The index-th ```language block after the heading that contains heading_text."""
    text = README.read_text()
    section = text[text.index(heading_text):]
    return re.findall(rf"```{language}\n(.*?)```", section, re.S)[index]


def shell(script, cwd, **env):
    path = os.path.dirname(CLI) + os.pathsep + os.environ["PATH"]
    subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=cwd, check=True,
                   env={**os.environ, "PATH": path, **env})


def test_parallel_parts_join_into_the_whole_run(captures, tmp_path):
    shutil.copy(captures["single"], tmp_path / "hall.pcap")
    cli("export", "--pcap", tmp_path / "hall.pcap", "--csv", tmp_path / "one-run.csv")
    script = recipe("## Batch runs", "sh").replace("step=500", "step=6")
    shell(script, tmp_path)
    assert len((tmp_path / "ranges").read_text().splitlines()) > 2
    assert (tmp_path / "whole.csv").read_bytes() == (tmp_path / "one-run.csv").read_bytes()


def test_slurm_tasks_join_into_the_whole_run(captures, tmp_path):
    shutil.copy(captures["dual"], tmp_path / "hall.pcap")
    cli("export", "--pcap", tmp_path / "hall.pcap", "--csv", tmp_path / "one-run.csv")
    script = recipe("## Batch runs", "sh", 1)
    tasks = 6
    for task in range(tasks):
        shell(script, tmp_path, SLURM_ARRAY_TASK_ID=str(task), SLURM_ARRAY_TASK_COUNT=str(tasks))
    parts = [tmp_path / f"part-{t}.csv" for t in range(tasks)]
    joined = parts[0].read_bytes().split(b"\n", 1)[0] + b"\n"
    joined += b"".join(p.read_bytes().split(b"\n", 1)[1] for p in parts if p.exists())
    assert joined == (tmp_path / "one-run.csv").read_bytes()


def test_dask_totals_equal_the_command_line_s(captures, tmp_path):
    script = tmp_path / "points.py"
    script.write_text(recipe("## Batch runs", "python").replace("size=500", "size=7"))
    paths = [str(captures["single"]), str(captures["dual"])]
    out = subprocess.run([sys.executable, str(script), *paths], check=True, capture_output=True, text=True).stdout
    assert out.splitlines() == [f"{p} {exported_points(p)}" for p in sorted(paths)]
