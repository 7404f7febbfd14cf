# Every target bootstraps itself (Python >= 3.13, .venv, dependencies, build).
.PHONY: demo test build bench
demo:
	@tools/dev demo
test:
	@tools/dev test
build:
	@tools/dev build
bench:
	@tools/dev bench
